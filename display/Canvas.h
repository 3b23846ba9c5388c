#pragma once
// The raster canvas of the signal display: 32-bit pixels 0xAARRGGBB, bitmaps with drawing
// operations, and positioned layers gathered in a collection. Plain C++; only the glyph
// rasterisation behind TBitmap32::RenderText uses the GUI framework (CanvasText.cpp).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One pixel: alpha in bits 24..31, red 16..23, green 8..15, blue 0..7. Not premultiplied.
using TColor32 = std::uint32_t;

inline constexpr TColor32 Color32(std::uint8_t r, std::uint8_t g, std::uint8_t b,
                                  std::uint8_t a = 0xFF) {
    return (TColor32(a) << 24) | (TColor32(r) << 16) | (TColor32(g) << 8) | TColor32(b);
}
inline constexpr std::uint8_t AlphaComponent(TColor32 c) {
    return std::uint8_t(c >> 24);
}

// How a bitmap is combined when it is drawn onto another one.
enum TDrawMode { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };

struct TFloatRect {
    float Left = 0, Top = 0, Right = 0, Bottom = 0;
    friend bool operator==(const TFloatRect&, const TFloatRect&) = default;
};
inline constexpr TFloatRect FloatRect(float left, float top, float right, float bottom) {
    return TFloatRect{left, top, right, bottom};
}

// Integer pixel rectangle, right and bottom exclusive.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// The smallest rectangle holding both; an empty rectangle adds nothing.
TRect Union(const TRect& a, const TRect& b);
// What lies in both; (0, 0, 0, 0) when nothing does.
TRect Intersection(const TRect& a, const TRect& b);
// A rectangle larger than any bitmap: "everything changed".
inline constexpr TRect kEverywhere{-(1 << 28), -(1 << 28), 1 << 28, 1 << 28};

// Combines source F onto destination B: Fa 0 keeps B, Fa 255 gives F, otherwise every channel
// (alpha included) is (B.c * (256 - Fa) + F.c * Fa + 128) >> 8.
TColor32 BlendPixel(TColor32 F, TColor32 B);
// The same with the source alpha first scaled by a master alpha 0..255 (255 leaves it as is).
TColor32 BlendPixel(TColor32 F, TColor32 B, int masterAlpha);

// Zero-initialised pixel storage. A large raster comes straight from the operating system as
// pages that read as 0 and take memory only once written, so a fresh transparent bitmap costs
// nothing until something is drawn into it.
class TPixelStore {
  public:
    TPixelStore() = default;
    ~TPixelStore() { Release(); }
    TPixelStore(const TPixelStore&) = delete;
    TPixelStore& operator=(const TPixelStore&) = delete;

    // Replaces the storage by `count` pixels of 0; throws std::bad_alloc.
    void Allocate(std::size_t count);
    void Release();
    TColor32* data() { return pixels_; }
    const TColor32* data() const { return pixels_; }
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    TColor32& operator[](std::size_t i) { return pixels_[i]; }
    const TColor32& operator[](std::size_t i) const { return pixels_[i]; }

  private:
    TColor32* pixels_ = nullptr;
    std::size_t count_ = 0;
    bool mapped_ = false;
};

// The text face of a bitmap. The station maps it to its own sans face of the same pixel height.
struct TFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;     // points
    int Height = 11;  // pixels
    bool Bold = false;
};

class TBitmap32 {
  public:
    TBitmap32() = default;
    TBitmap32(const TBitmap32&) = delete;
    TBitmap32& operator=(const TBitmap32&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // No pixel storage or a zero dimension: every drawing operation does nothing.
    bool Empty() const { return width_ == 0 || height_ == 0 || bits_.empty(); }

    // Row-major pixels, top row first; pixel (x, y) is element y * Width + x.
    const TColor32* Bits() const {
        Settle();
        return bits_.data();
    }
    // Writable pixels. Writes may go anywhere, so the content bounds become the whole bitmap; write
    // only through a pointer taken after the last Clear or SetSize.
    TColor32* Bits() {
        Settle();
        Include(TRect{0, 0, width_, height_});
        uniformCount_ = 0;  // writes may go anywhere
        return bits_.data();
    }
    // A rectangle holding every pixel that may be non-zero; all pixels outside it are 0. It may be
    // larger than needed, and is empty (0, 0, 0, 0) when every pixel is known to be 0.
    const TRect& ContentBounds() const { return bounds_; }
    // A rectangle holding every pixel whose value, or whose way of being combined, may have
    // changed since the last TakeChangedArea: what drawing wrote, what a Clear(0) emptied, the
    // whole bitmap after a new size or draw mode. Read it from OnChange to follow every change.
    const TRect& ChangedArea() const {
        Settle();
        return changed_;
    }
    TRect TakeChangedArea() {
        Settle();
        return std::exchange(changed_, TRect{});
    }
    // Pixel (x, y); 0 outside the bitmap.
    TColor32 Pixel(int x, int y) const;
    // Stores one pixel as is, when it lies inside. Notifies a change.
    void SetPixel(int x, int y, TColor32 value);

    // Replaces the storage by a transparent black raster of the new size (negative counts as 0);
    // nothing happens when the size is unchanged.
    void SetSize(int newWidth, int newHeight);
    // Every pixel := fillColor, whatever the draw mode.
    void Clear(TColor32 fillColor);
    // Pixels x1 <= x < x2, y1 <= y < y2 := value, clipped to the bitmap.
    void FillRect(int x1, int y1, int x2, int y2, TColor32 value);
    // Stores value along the line from (x1, y1) towards (x2, y2); the end point only when L.
    void Line(int x1, int y1, int x2, int y2, TColor32 value, bool L);

    TDrawMode DrawMode() const { return drawMode_; }
    void SetDrawMode(TDrawMode mode);
    int MasterAlpha() const { return masterAlpha_; }
    void SetMasterAlpha(int alpha);
    const TFont& Font() const { return font_; }

    // Draws text with its character cell's top-left at (x, y), blended over the existing pixels.
    // Only aaLevel 0 (no supersampling) is drawn; it is limited to 0..4.
    void RenderText(int x, int y, const std::string& text, int aaLevel, TColor32 color);
    // Width and height of text's character cells in this bitmap's font.
    void TextExtent(const std::string& text, int& width, int& height) const;

    // Transfers this bitmap into dstRect of dst by this bitmap's draw mode (dmCustom copies like
    // dmOpaque), clipped to dst. A rectangle of the bitmap's own size is a one-to-one copy; another
    // size is sampled at the nearest pixel. An empty bitmap contributes nothing; a blended one
    // only visits what its content bounds cover, since transparent pixels keep the destination.
    void DrawTo(TBitmap32& dst, const TRect& dstRect) const;
    void DrawTo(TBitmap32& dst, int dstX, int dstY) const;
    // The same, writing only the destination pixels inside `clip`; each pixel gets the value the
    // whole transfer would give it.
    void DrawTo(TBitmap32& dst, const TRect& dstRect, const TRect& clip) const;

    // Raised after every operation that alters pixels, size or drawing properties.
    std::function<void()> OnChange;
    // Raised after the size changed (after OnChange).
    std::function<void()> OnResize;

  private:
    // DrawTo without the change notification of dst; returns the destination area written.
    TRect TransferTo(TBitmap32& dst, const TRect& dstRect, const TRect& clip) const;
    // Notes `area` (clipped to the bitmap) as changed and notifies.
    void Changed(const TRect& area);
    // Grows the content bounds to cover r, clipped to the bitmap.
    void Include(const TRect& r);
    // A Clear(0) leaves the old pixels in place until the next operation, so that a bar drawn
    // right after it rewrites only what differs: finishes it, noting what really changed.
    void Settle() const {
        if (!cleared_.IsEmpty()) {
            SettleClear(TRect{});
        }
    }
    // Zeroes cleared_ except `fill`, which gets fillValue; notes the pixels whose value changes.
    void SettleClear(const TRect& fill, TColor32 fillValue = 0) const;
    // Stores the n values in row y from column a on, noting the pixels that change.
    void Put(int y, int a, const TColor32* values, int n) const;
    // Rectangles known to hold one value each, so that settling a clear need not read them.
    struct TUniform {
        TRect rect;
        TColor32 value = 0;
    };
    static constexpr int kUniforms = 6;
    // Drops what is known of the pixels in r, which are being written.
    void Forget(const TRect& r) const;
    // Notes that r holds value (when there is room, the smallest rectangle giving way).
    void Know(const TRect& r, TColor32 value) const;
    void Store(int x, int y, TColor32 value) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) {
            bits_[std::size_t(y) * std::size_t(width_) + std::size_t(x)] = value;
        }
    }

    int width_ = 0;
    int height_ = 0;
    TPixelStore bits_;
    TRect bounds_;
    // Logically 0 but not yet zeroed (see Settle); lies outside bounds_.
    mutable TRect cleared_;
    mutable TRect changed_;
    mutable TUniform uniform_[kUniforms];
    mutable int uniformCount_ = 0;
    TDrawMode drawMode_ = dmOpaque;
    int masterAlpha_ = 255;
    TFont font_;
};

class TLayerCollection;

// A layer with a place in the image's pixel coordinates. Created with its collection, which owns
// it from then on: `new TBitmapLayer(image->Layers())` appends the layer on top.
class TPositionedLayer {
  public:
    explicit TPositionedLayer(TLayerCollection& collection);
    virtual ~TPositionedLayer();
    TPositionedLayer(const TPositionedLayer&) = delete;
    TPositionedLayer& operator=(const TPositionedLayer&) = delete;

    const TFloatRect& Location() const { return location_; }
    void SetLocation(const TFloatRect& r);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    // Locations are never transformed by the image's scale or alignment.
    bool Scaled() const { return false; }
    TLayerCollection* LayerCollection() const { return collection_; }
    // Location rounded to whole pixels.
    TRect PixelLocation() const;

    // Draws the layer into the part `clip` of the composed buffer.
    virtual void Paint(TBitmap32& buffer, const TRect& clip) const;
    // Where the layer's own drawing changed since the last call, in the image's pixels.
    virtual TRect TakeChangedArea();

  protected:
    // A change of the layer is a change of its collection, at `area` in the image's pixels.
    void Changed(const TRect& area = kEverywhere);

  private:
    friend class TLayerCollection;
    TLayerCollection* collection_;
    TFloatRect location_ = FloatRect(0, 0, 64, 64);
    bool visible_ = true;
};

// A positioned layer that owns a bitmap; a change of the bitmap is a change of the layer.
class TBitmapLayer : public TPositionedLayer {
  public:
    explicit TBitmapLayer(TLayerCollection& collection);

    TBitmap32& Bitmap() { return bitmap_; }
    const TBitmap32& Bitmap() const { return bitmap_; }

    void Paint(TBitmap32& buffer, const TRect& clip) const override;
    TRect TakeChangedArea() override;

  private:
    // Where a change of the bitmap shows in the image's pixels.
    TRect ImageArea(const TRect& bitmapArea) const;
    TBitmap32 bitmap_;
};

// Ordered layers, bottom first. Owns its layers and frees them with itself.
class TLayerCollection {
  public:
    TLayerCollection() = default;
    ~TLayerCollection();
    TLayerCollection(const TLayerCollection&) = delete;
    TLayerCollection& operator=(const TLayerCollection&) = delete;

    int Count() const { return int(items_.size()); }
    TPositionedLayer* Items(int index) const { return items_.at(std::size_t(index)).get(); }

    // Paints every visible layer, bottom to top, into the part `clip` of buffer.
    void PaintTo(TBitmap32& buffer, const TRect& clip = kEverywhere) const;

    // Raised after a layer was added, removed or changed.
    std::function<void()> OnChange;
    // Notes `area`, in the image's pixels, as changed and raises OnChange.
    void Changed(const TRect& area = kEverywhere);
    // What may look different since the last call: the areas noted and what the layers' bitmaps
    // changed since, handed to `each` one area at a time (layers change apart from each other).
    void TakeChangedAreas(const std::function<void(const TRect&)>& each);
    // The same as one rectangle holding them all.
    TRect TakeChangedArea();

  private:
    friend class TPositionedLayer;
    void Adopt(TPositionedLayer* layer);
    void Detach(TPositionedLayer* layer);

    std::vector<std::unique_ptr<TPositionedLayer>> items_;
    TRect changed_;
};

// Builds a composed picture: buffer cleared to background, then the visible layers on top.
void ComposeLayers(TBitmap32& buffer, TColor32 background, const TLayerCollection& layers);
// The same for the part `clip` of buffer only; every pixel there gets the value a whole
// composition would give it, the others stay as they are.
void ComposeLayers(TBitmap32& buffer, TColor32 background, const TLayerCollection& layers,
                   const TRect& clip);
