// Opening pictures: what the window shows after an accepted file (mode, pens, the
// picture drawn by the rule of its mode) and that a rejected or cancelled one leaves
// the window exactly as it was.
#include "window_test_support.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace window_test;

namespace {

// The checkerboard sample, drawn independently: palette index 1 is white, 0 black.
bool checkerboardIsWhite(int x, int y) {
    return (((x / 16 + y / 8) % 2) == 0) != (std::abs(x / 2 - y) < 12);
}

}  // namespace

class WindowOpenTest : public QObject {
    Q_OBJECT

private slots:
    void init() { form = makeForm(); }
    void cleanup() { form.reset(); }

    void modeTwoPictureFillsTheWholeAreaTwoLinesPerRow() {
        openThroughMenu(*form, samplePath("checkerboard-mode2.pcx"));
        QCOMPARE(modeLabel(), QStringLiteral("2"));
        const QImage area = picture(*form);
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 640; ++x) {
                const QColor expected = checkerboardIsWhite(x, y / 2) ? QColor(Qt::white) : QColor(Qt::black);
                if (area.pixelColor(x, y) != expected)
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
            }
        // White covers 65516 pixels, black 62484: white takes pen 0.
        QCOMPARE(inkBox(*form, 0)->color(), QColor(Qt::white));
        QCOMPARE(inkBox(*form, 0)->text(), QStringLiteral("26"));
        QCOMPARE(inkBox(*form, 1)->color(), QColor(Qt::black));
        QCOMPARE(inkBox(*form, 1)->text(), QStringLiteral("0"));
        for (int pen = 2; pen < 27; ++pen) {
            QCOMPARE(inkBox(*form, pen)->color(), QColor(0x80, 0x80, 0x80));
            QCOMPARE(inkBox(*form, pen)->text(), QString());
        }
    }

    void modeZeroAndOnePicturesFillTheTopLeftQuarter() {
        openThroughMenu(*form, samplePath("checkerboard-mode2.pcx"));
        openThroughMenu(*form, samplePath("sunset-mode0.pcx"));
        QCOMPARE(modeLabel(), QStringLiteral("0"));
        QImage area = picture(*form);
        const QSet<QRgb> penColours = coloursOfPens();
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; x += 2) {
                QCOMPARE(area.pixel(x + 1, y), area.pixel(x, y));  // two screen pixels per picture pixel
                QVERIFY(penColours.contains(area.pixel(x, y) | 0xFF000000u));
            }
        // The mode 2 picture before it is gone: the rest of the area is blank again.
        expectBlankOutside(area, QRect(0, 0, 320, 200));

        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        QCOMPARE(modeLabel(), QStringLiteral("1"));
        area = picture(*form);
        expectBlankOutside(area, QRect(0, 0, 320, 200));
        // Sky, sun and hills: top left is sky (filter colour 2), bottom left hill (9).
        QCOMPARE(area.pixelColor(0, 0), displayColor(2));
        QCOMPARE(area.pixelColor(0, 199), displayColor(9));
        QCOMPARE(area.pixelColor(220, 110), displayColor(25));
    }

    void acceptedFileLogsItsStepsAndEnablesTheThresholds() {
        const QString path = samplePath("sunset-mode1.pcx");
        openThroughMenu(*form, path);
        const QStringList first = linesSince(*form, 1);
        QCOMPARE(first.first(), path);
        QCOMPARE(first.count(QStringLiteral("Format = 10")), 1);
        QCOMPARE(first.mid(first.size() - 3),
                 (QStringList{"- Building Palette ...", "- Viewing Picture ...", "- Picture Ready"}));
        for (const char* name : {"TELow", "TEHigh", "TSLow", "TSHigh", "LblLow", "LblHigh"})
            QVERIFY(form->findChild<QWidget*>(QString::fromLatin1(name))->isEnabled());

        // The same file again: the same lines, the same picture.
        const QImage before = picture(*form);
        const qsizetype count = logLines(*form).size();
        openThroughMenu(*form, path);
        QCOMPARE(linesSince(*form, count), first);
        QCOMPARE(picture(*form), before);
    }

    void rejectedFileLeavesPictureModeAndPensAsTheyWere() {
        QTemporaryDir dir;
        QByteArray notPcx = readFile(samplePath("sunset-mode0.pcx"));
        notPcx[0] = 11;
        const QString badHeader = write(dir, "bad-header.pcx", notPcx);
        const QString tooShort = write(dir, "short.pcx", readFile(samplePath("sunset-mode0.pcx")).left(100));
        QByteArray cut = readFile(samplePath("checkerboard-mode2.pcx"));
        cut.truncate(cut.size() / 2);  // header says mode 2; the pixels run out
        const QString truncated = write(dir, "truncated.pcx", cut);
        const QString missing = dir.filePath(QStringLiteral("missing.pcx"));

        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        const QImage shown = picture(*form);
        const QSet<QRgb> pens = coloursOfPens();
        for (const QString& path : {badHeader, tooShort, truncated, missing}) {
            const qsizetype count = logLines(*form).size();
            openThroughMenu(*form, path);
            const QStringList lines = linesSince(*form, count);
            QCOMPARE(lines.first(), path);
            QVERIFY2(!lines.contains(QStringLiteral("- Picture Ready")), qPrintable(path));
            QCOMPARE(picture(*form), shown);
            QCOMPARE(modeLabel(), QStringLiteral("1"));
            QCOMPARE(coloursOfPens(), pens);
            QVERIFY(edit(*form, "TELow")->isEnabled());
        }
        // A first byte other than 10: the file name, the header check, then the verdict.
        const qsizetype count = logLines(*form).size();
        openThroughMenu(*form, badHeader);
        const QStringList lines = linesSince(*form, count);
        QCOMPARE(lines.value(1), QStringLiteral("Entete PCX : "));
        QCOMPARE(lines.value(2), QStringLiteral("Format = 11"));
        QCOMPARE(lines.last(), QStringLiteral("Format de fichier inconnu !!!"));
    }

    void rejectedFirstFileKeepsTheThresholdEditsDisabled() {
        openThroughMenu(*form, QStringLiteral("/nonexistent/picture.pcx"));
        for (const char* name : {"TELow", "TEHigh"}) QVERIFY(!edit(*form, name)->isEnabled());
        expectBlankOutside(picture(*form), QRect());
        QCOMPARE(modeLabel(), QStringLiteral("0"));
    }

    void cancelledDialogChangesNothing() {
        openThroughMenu(*form, samplePath("checkerboard-mode2.pcx"));
        const QStringList log = logLines(*form);
        const QImage shown = picture(*form);
        openThroughMenu(*form, QString());
        QCOMPARE(logLines(*form), log);
        QCOMPARE(picture(*form), shown);
    }

private:
    QString modeLabel() const { return label(*form, "LabelMode")->text(); }

    QSet<QRgb> coloursOfPens() const {
        QSet<QRgb> colours;
        for (int pen = 0; pen < 27; ++pen)
            if (!inkBox(*form, pen)->text().isEmpty()) colours.insert(inkBox(*form, pen)->color().rgb());
        return colours;
    }

    void expectBlankOutside(const QImage& area, const QRect& picture) const {
        const QRgb blank = buttonFace(*form).rgb();
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 640; ++x)
                if (!picture.contains(x, y) && area.pixel(x, y) != blank)
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is not blank").arg(x).arg(y)));
    }

    static QString write(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) qFatal("cannot write %s", name);
        return path;
    }

    std::unique_ptr<TMainForm> form;
};

QTEST_MAIN(WindowOpenTest)
#include "window_open_test.moc"
