#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "reader/serial_devices.h"

// /dev/serial/by-id is Linux's: links named after the adapter, leading to its device.
namespace palmota {
namespace {

TEST(SerialDevices, AreNamedByTheFirstByIdLinkThatLeadsToThem) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    ASSERT_TRUE(QDir(dev.path()).mkdir("by-id"));
    for (const char* name : {"ttyUSB0", "ttyACM0", "not-a-link"}) {
        QFile file(dev.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // Two links to one adapter: the first in name order names it. A plain file among the
    // links names nothing.
    const QString link = dev.filePath("by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    ASSERT_TRUE(QFile::link(dev.filePath("ttyUSB0"), link));
    ASSERT_TRUE(QFile::link(dev.filePath("ttyUSB0"), dev.filePath("by-id/usb-Z-if00")));
    ASSERT_TRUE(QFile::copy(dev.filePath("not-a-link"), dev.filePath("by-id/usb-A-if00")));

    QList<SerialDevice> present(3);
    present[0].path = dev.filePath("ttyUSB0");
    present[1].path = dev.filePath("ttyACM0");
    present[2].path = dev.filePath("ttyS0");  // not there at all
    const QList<SerialDevice> listed = withByIdLinks(present, dev.filePath("by-id"));
    ASSERT_EQ(listed.size(), 3);
    EXPECT_EQ(listed[0].byId, link);
    EXPECT_EQ(listed[1].byId, "");
    EXPECT_EQ(listed[2].byId, "");
    EXPECT_EQ(listed[2].path, dev.filePath("ttyS0"));
}

}  // namespace
}  // namespace palmota
