#include "FuzzTarget.h"
#include "TestConfig.h"
#include "support/TempImage.h"

#include <QtTest>

FUZZ_TARGET(hex_image);
FUZZ_TARGET(release_answer);
FUZZ_TARGET(frame_assembler);

using Target = int (*)(const uint8_t*, size_t);
Q_DECLARE_METATYPE(Target)

// Every stored input of each fuzz target, seeds and findings alike, replayed
// through the same target, so that a finding stays found in every build.
class TestFuzzCorpus : public QObject
{
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<Target>("target");
        QTest::addColumn<QString>("file");
        const QMap<QString, Target> targets {{"hex-image", fuzz_hex_image},
                                             {"release-answer", fuzz_release_answer},
                                             {"frame-assembler", fuzz_frame_assembler}};
        for (auto it = targets.cbegin(); it != targets.cend(); ++it) {
            const QDir dir(QStringLiteral(TESSARO_TEST_DATA_DIR "/fuzz/") + it.key());
            for (const QString& name : dir.entryList(QDir::Files)) {
                QTest::newRow(qPrintable(it.key() + '/' + name)) << it.value() << dir.filePath(name);
            }
        }
    }
    void replay()
    {
        QFETCH(Target, target);
        QFETCH(QString, file);
        const QByteArray bytes = read_file(file);
        QCOMPARE(target(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())), 0);
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "TestFuzzCorpus.moc"
