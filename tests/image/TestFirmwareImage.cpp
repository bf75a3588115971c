#include "TestConfig.h"
#include "image/FirmwareImage.h"

#include <QBuffer>
#include <QtTest>

namespace {

// Hands out the first `good` bytes of its contents, then fails every read,
// as a file on a failing disk or a vanished network share would.
class FailDevice : public QBuffer
{
public:
    FailDevice(const QByteArray& contents, qint64 good)
        : good_(good)
    {
        setData(contents);
    }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        if (pos() >= good_) {
            setErrorString(QStringLiteral("input/output error"));
            return -1;
        }
        return QBuffer::readData(data, qMin(max, good_ - pos()));
    }

private:
    qint64 good_;
};

const char kImage[] = TESSARO_TEST_DATA_DIR "/srec-two-segments-crlf.hex";

} // namespace

class TestFirmwareImage : public QObject
{
    Q_OBJECT
private slots:
    void readErrorsAreNotTheEndOfTheFile_data();
    void readErrorsAreNotTheEndOfTheFile();
};

void TestFirmwareImage::readErrorsAreNotTheEndOfTheFile_data()
{
    QTest::addColumn<qint64>("good");
    QTest::newRow("fails at once") << qint64(0);
    QTest::newRow("fails mid-file, at a line end") << qint64(64 * 1024);
    QTest::newRow("never fails") << qint64(1);
}

// A read that fails part-way makes the image unreadable: a cut-off image must
// not pass for a shorter one.
void TestFirmwareImage::readErrorsAreNotTheEndOfTheFile()
{
    QFETCH(qint64, good);
    QFile file(QString::fromLatin1(kImage));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    FailDevice device(contents, good == 1 ? contents.size() + 1 : good);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const FirmwareImage image = FirmwareImage::fromDevice(device, QStringLiteral("fw.hex"));
    const FirmwareImage whole = FirmwareImage::fromFile(QString::fromLatin1(kImage));
    QVERIFY(whole.accepted());
    if (good != 1) {
        QVERIFY(!image.readable());
        QVERIFY(!image.accepted());
        QVERIFY2(image.readError().contains(QStringLiteral("input/output error")), qPrintable(image.readError()));
        QVERIFY(image.segments().isEmpty());
        return;
    }
    QVERIFY(image.accepted());
    QCOMPARE(image.segments(), whole.segments());
    QCOMPARE(image.path(), QStringLiteral("fw.hex"));
}

QTEST_GUILESS_MAIN(TestFirmwareImage)
#include "TestFirmwareImage.moc"
