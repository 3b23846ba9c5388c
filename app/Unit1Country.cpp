// The country panel: showing the country dialog and writing the chosen countries into the device.
#include "Countrycode.h"
#include "HostCommands.h"
#include "Unit1.h"

void TForm1::BtnCtCodeClick() {
    if (CtCode == nullptr) {
        return;
    }
    CtCode->show();  // not modal: the main window stays usable
    CtCode->raise();
    CtCode->activateWindow();
}

void TForm1::Button20Click() {
    // The mask of the last OK or Cancel, not the ticks on screen.
    SendBytes(mv62::CountryWriteCommand(CountryMask));
    Wait(200);
}
