#pragma once
// The display elements that the main window builds at run time: six signal columns with their
// layers, the two indicator rows, the switch position labels and the drive channel controls.
#include <array>
#include <cstdint>

class QWidget;
class QLabel;
class QRadioButton;
class TShape;
class TImage32;
class TBitmapLayer;

struct TSignalDisplayElements {
    std::array<TShape*, 6> MaxLamp{};
    std::array<TShape*, 6> CalibLamp{};
    std::array<QLabel*, 8> DriveLabel{};
    std::array<QLabel*, 8> DriveRefLabel{};
    std::array<QLabel*, 10> Sw1Digit{};
    std::array<QLabel*, 4> Sw2Digit{};
    std::array<QRadioButton*, 8> ChRadio{};
    std::array<TImage32*, 6> SenImage{};
    std::array<TBitmapLayer*, 6> SenMaxLayer{};
    std::array<TBitmapLayer*, 6> SenCalibLayer{};
    std::array<TBitmapLayer*, 6> SenSpareLayer{};
    std::array<TBitmapLayer*, 6> SenGridLayer{};
};

// Creates every element above. `form` owns the drive labels and channel buttons, `panel1` the
// columns, `panel2` the indicator rows and switch labels. The channel buttons are created but
// their press handlers are connected by the window.
void BuildSignalDisplay(TSignalDisplayElements& e, QWidget* form, QWidget* panel1, QWidget* panel2);
