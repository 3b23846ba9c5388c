#pragma once
// The raster canvas of the signal display: 32-bit pixels 0xAARRGGBB, bitmaps with drawing
// operations, and positioned layers gathered in a collection. Plain C++; only the glyph
// rasterisation behind TBitmap32::RenderText uses the GUI framework (CanvasText.cpp).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
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
    friend bool operator==(const TRect&, const TRect&) = default;
};

// Combines source F onto destination B: Fa 0 keeps B, Fa 255 gives F, otherwise every channel
// (alpha included) is (B.c * (256 - Fa) + F.c * Fa + 128) >> 8.
TColor32 BlendPixel(TColor32 F, TColor32 B);
// The same with the source alpha first scaled by a master alpha 0..255 (255 leaves it as is).
TColor32 BlendPixel(TColor32 F, TColor32 B, int masterAlpha);

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
    const TColor32* Bits() const { return bits_.data(); }
    // Writable pixels. Writes may go anywhere, so the content bounds become the whole bitmap; write
    // only through a pointer taken after the last Clear or SetSize.
    TColor32* Bits() {
        Include(TRect{0, 0, width_, height_});
        return bits_.data();
    }
    // A rectangle holding every pixel that may be non-zero; all pixels outside it are 0. It may be
    // larger than needed, and is empty (0, 0, 0, 0) when every pixel is known to be 0.
    const TRect& ContentBounds() const { return bounds_; }
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

    // Raised after every operation that alters pixels, size or drawing properties.
    std::function<void()> OnChange;
    // Raised after the size changed (after OnChange).
    std::function<void()> OnResize;

  private:
    // DrawTo without the change notification of dst.
    void TransferTo(TBitmap32& dst, const TRect& dstRect) const;
    void Changed();
    // Grows the content bounds to cover r, clipped to the bitmap.
    void Include(const TRect& r);
    void Store(int x, int y, TColor32 value) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) {
            bits_[std::size_t(y) * std::size_t(width_) + std::size_t(x)] = value;
        }
    }

    int width_ = 0;
    int height_ = 0;
    std::vector<TColor32> bits_;
    TRect bounds_;
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

    // Draws the layer into the composed buffer.
    virtual void Paint(TBitmap32& buffer) const;

  protected:
    // A change of the layer is a change of its collection.
    void Changed();

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

    void Paint(TBitmap32& buffer) const override;

  private:
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

    // Paints every visible layer, bottom to top, into buffer.
    void PaintTo(TBitmap32& buffer) const;

    // Raised after a layer was added, removed or changed.
    std::function<void()> OnChange;
    void Changed();

  private:
    friend class TPositionedLayer;
    void Adopt(TPositionedLayer* layer);
    void Detach(TPositionedLayer* layer);

    std::vector<std::unique_ptr<TPositionedLayer>> items_;
};

// Builds a composed picture: buffer cleared to background, then the visible layers on top.
void ComposeLayers(TBitmap32& buffer, TColor32 background, const TLayerCollection& layers);
