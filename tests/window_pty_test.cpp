// The window's protocol link on a real pseudo-terminal: the master end plays the MV62.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <cstdlib>

#include "Unit1.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class PtyLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        path = ttyname(slave);
        form.Wait = [](int) {};
        form.Pump = [] {};
        form.ShowError = [this](const QString& m) { errors << m; };
    }
    void TearDown() override {
        if (master >= 0) {
            close(master);
        }
        close(slave);
        unsetenv("MV62_COM3");
    }
    // Reads what the station wrote, waiting up to a few seconds for `n` bytes.
    Bytes ReadMaster(std::size_t n) {
        Bytes out;
        pollfd p{master, POLLIN, 0};
        while (out.size() < n && poll(&p, 1, 5000) > 0) {
            std::uint8_t buf[64];
            const ssize_t got = read(master, buf, sizeof buf);
            if (got <= 0) {
                break;
            }
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }

    int master = -1;
    int slave = -1;
    std::string path;
    TForm1 form;
    QStringList errors;
};

TEST_F(PtyLink, StartProtocolOpensTheChosenPortAtTheChosenSpeed) {
    setenv("MV62_COM3", path.c_str(), 1);
    form.ComboBox1->setCurrentIndex(2);
    form.ComboBox2->setCurrentIndex(2);
    form.Button3Click();
    ASSERT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_TRUE(form.LinkOpen);
    EXPECT_EQ(ReadMaster(3), (Bytes{0x55, 0xAA, 0x00}));

    termios t{};
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B38400);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    // The device answers; the polling tick hands the reply to the window.
    const std::uint8_t ack[] = {0x55, 0xAA, 0x24, 0x00};
    ASSERT_EQ(write(master, ack, sizeof ack), 4);
    tcdrain(master);
    for (int i = 0; i < 500 && form.Label42->text().isEmpty(); ++i) {
        usleep(10000);
        form.Comm->ProcTimer();
    }
    EXPECT_EQ(form.Label42->text(), "ok");

    form.Button4Click();
    EXPECT_EQ(ReadMaster(3), (Bytes{0x55, 0xAA, 0xED}));
    EXPECT_FALSE(form.Comm->PortOpen());
}

TEST_F(PtyLink, AMissingDeviceIsReportedAndTheLinkStaysClosed) {
    setenv("MV62_COM3", "/dev/mv62-no-such-port", 1);
    form.ComboBox1->setCurrentIndex(2);
    form.Button3Click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("COM3 (/dev/mv62-no-such-port) does not exist.\n"));
    EXPECT_TRUE(errors[0].contains("MV62_COM3=<device>"));
    EXPECT_FALSE(form.LinkOpen);
    EXPECT_TRUE(form.Button3->isEnabled());
}

TEST_F(PtyLink, ClosingTheFarEndGivesOneDisconnectError) {
    setenv("MV62_COM3", path.c_str(), 1);
    form.ComboBox1->setCurrentIndex(2);
    form.Button3Click();
    ASSERT_TRUE(form.LinkOpen);
    ReadMaster(3);
    close(master);
    master = -1;
    for (int i = 0; i < 100; ++i) {
        form.Comm->ProcTimer();
    }
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("disconnected"));
}

}  // namespace
