// Saving through the window: refusals write nothing; accepted saves write the two
// files of the program's layout, byte for byte what the converter writes for the same
// picture and colour choices, with the AMSDOS headers and tables the CPC expects.
#include "window_test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace window_test;
using varnoke::ScreenLayout;

namespace {

int byteAt(const QByteArray& bytes, qsizetype offset) { return static_cast<unsigned char>(bytes.at(offset)); }
int wordAt(const QByteArray& bytes, qsizetype offset) { return byteAt(bytes, offset) | byteAt(bytes, offset + 1) << 8; }

// The AMSDOS checksum: the sum of bytes 0 to 66.
int amsdosChecksum(const QByteArray& header) {
    int sum = 0;
    for (int i = 0; i < 67; ++i) sum += byteAt(header, i);
    return sum & 0xFFFF;
}

}  // namespace

class WindowSaveTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid()); }

    void nothingIsSavedWithoutAPicture() {
        auto form = makeForm();
        const QString path = dir.filePath(QStringLiteral("empty.scr"));
        saveThroughMenu(*form, path);
        const QStringList lines = linesSince(*form, 1);
        QCOMPARE(lines.first(), path);
        QVERIFY(!lines.contains(QStringLiteral("Saving Ok ... ")));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void cancelledDialogLogsAndWritesNothing() {
        auto form = makeForm();
        openThroughMenu(*form, samplePath("checkerboard-mode2.pcx"));
        const QStringList log = logLines(*form);
        saveThroughMenu(*form, QString());
        QCOMPARE(logLines(*form), log);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void ocpPaletteMenuPutsTheModeIntoThePaletteFileOnly() {
        auto form = makeForm();
        QAction* ocp = action(*form, "OcpPaletteMenu");
        QVERIFY(ocp->isCheckable() && !ocp->isChecked());
        openThroughMenu(*form, samplePath("checkerboard-mode2.pcx"));
        saveThroughMenu(*form, dir.filePath(QStringLiteral("plain.scr")));
        ocp->trigger();
        saveThroughMenu(*form, dir.filePath(QStringLiteral("ocp.scr")));
        const QByteArray plain = readFile(dir.filePath(QStringLiteral("plain.pal")));
        const QByteArray ocpPalette = readFile(dir.filePath(QStringLiteral("ocp.pal")));
        QCOMPARE(plain.size(), 367);
        QCOMPARE(byteAt(plain, 128), 0);
        QCOMPARE(byteAt(ocpPalette, 128), 2);
        QCOMPARE(ocpPalette.left(128) + ocpPalette.mid(129), plain.left(128) + plain.mid(129));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("ocp.scr"))),
                 readFile(dir.filePath(QStringLiteral("plain.scr"))));
    }

    void tooManyColoursAreRefusedUntilTheUserFitsThem_data() {
        QTest::addColumn<ScreenLayout>("layout");
        QTest::newRow("&4000") << ScreenLayout::At4000;
        QTest::newRow("&C000") << ScreenLayout::AtC000;
    }
    void tooManyColoursAreRefusedUntilTheUserFitsThem() {
        QFETCH(ScreenLayout, layout);
        auto form = makeForm(layout);
        openThroughMenu(*form, samplePath("sunset-mode1-six-colours.pcx"));
        // Six colours in four pens: pen 4 is the first that the mode cannot show.
        const QString path = dir.filePath(QStringLiteral("six.scr"));
        qsizetype count = logLines(*form).size();
        saveThroughMenu(*form, path);
        QStringList lines = linesSince(*form, count);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], path);
        QCOMPARE(lines[1], QStringLiteral("4 n'est pas dans la palette - index: %1").arg(inkBox(*form, 4)->text()));
        QCOMPARE(lines[2], QString::fromUtf8("!!! Des couleurs restent \xC3\xA0 modifier !!!"));
        QCOMPARE(lines[3], refusalAdvice(*form, 4));  // what the user can do about it
        QVERIFY(QDir(dir.path()).isEmpty());

        // Show pen 4's colour as pen 0's and pen 5's as pen 1's.
        const int filter4 = inkBox(*form, 4)->text().toInt();
        const int filter5 = inkBox(*form, 5)->text().toInt();
        const int colour0 = inkBox(*form, 0)->text().toInt();
        const int colour1 = inkBox(*form, 1)->text().toInt();
        clickInk(*form, 4);
        clickCpcColor(*form, colour0);
        clickInk(*form, 5);
        clickCpcColor(*form, colour1);
        count = logLines(*form).size();
        saveThroughMenu(*form, path);
        lines = linesSince(*form, count);
        QCOMPARE(lines.size(), 1 + 1 + 400 + 4 + 1);
        QCOMPARE(lines.last(), QStringLiteral("Saving Ok ... "));

        const QStringList maps{QStringLiteral("--map"), QStringLiteral("%1=%2").arg(filter4).arg(colour0),
                               QStringLiteral("--map"), QStringLiteral("%1=%2").arg(filter5).arg(colour1)};
        expectSameAsConverter(path, samplePath("sunset-mode1-six-colours.pcx"), layout, maps);
        const QByteArray screen = readFile(path);
        QCOMPARE(screen.size(), 16512);
        QCOMPARE(byteAt(screen, 128 + 0x07F1), 1);
    }

    void modeTwoPictureInBothLayouts_data() {
        QTest::addColumn<ScreenLayout>("layout");
        QTest::addColumn<int>("loadAddress");
        QTest::addColumn<int>("entryAddress");
        QTest::addColumn<int>("checksum");
        QTest::newRow("&4000") << ScreenLayout::At4000 << 0x4000 << 0x4FD0 << 1338;
        QTest::newRow("&C000") << ScreenLayout::AtC000 << 0xC000 << 0x4000 << 1243;
    }
    void modeTwoPictureInBothLayouts() {
        QFETCH(ScreenLayout, layout);
        QFETCH(int, loadAddress);
        QFETCH(int, entryAddress);
        QFETCH(int, checksum);
        auto form = makeForm(layout);
        openThroughMenu(*form, samplePath("checkerboard-mode2.pcx"));
        const QString path = dir.filePath(QStringLiteral("board.scr"));
        const qsizetype count = logLines(*form).size();
        saveThroughMenu(*form, path);
        const QStringList lines = linesSince(*form, count);
        QCOMPARE(lines.value(1), QStringLiteral("Saving ... "));
        QCOMPARE(lines.value(2), QStringLiteral("offset debut: 0"));
        QCOMPARE(lines.value(3), QStringLiteral("offset fin: 79"));
        QCOMPARE(lines.value(401), QStringLiteral("offset fin: 16335"));
        QCOMPARE(lines.mid(402),
                 (QStringList{"Creation d' une entete Amsdos ... ", QStringLiteral("Checksum = %1").arg(checksum),
                              "Creation d' une entete Amsdos ... ", "Checksum = 1616", "Saving Ok ... "}));

        const QByteArray screen = readFile(path);
        const QByteArray palette = readFile(dir.filePath(QStringLiteral("board.pal")));
        QCOMPARE(screen.size(), 16512);
        QCOMPARE(palette.size(), 367);
        QCOMPARE(screen.mid(1, 11), QByteArray("VARNOPCXSCR"));
        QCOMPARE(wordAt(screen, 21), loadAddress);
        QCOMPARE(wordAt(screen, 24), 0x4000);
        QCOMPARE(wordAt(screen, 26), entryAddress);
        QCOMPARE(wordAt(screen, 67), amsdosChecksum(screen));
        QCOMPARE(palette.mid(1, 11), QByteArray("VARNOPCXPAL"));
        QCOMPARE(wordAt(palette, 21), 0x8809);
        QCOMPARE(wordAt(palette, 24), 239);
        QCOMPARE(wordAt(palette, 67), amsdosChecksum(palette));
        // Pen 0 white (colour 26, code 0x4B), pen 1 black (colour 0, code 0x54).
        QCOMPARE(byteAt(screen, 128 + 0x07D0), 26);
        QCOMPARE(byteAt(screen, 128 + 0x07D1), 0);
        QCOMPARE(byteAt(screen, 128 + 0x07E0), 0x4B);
        QCOMPARE(byteAt(screen, 128 + 0x07E1), 0x54);
        QCOMPARE(byteAt(screen, 128 + 0x07F1), 2);
        // Mode 2, eight pixels a byte, leftmost in bit 7, pen 1 (black) a set bit. The
        // diagonal band (x / 2 < 12 on the top row) turns the first white square black
        // and the first black one white up to x = 24: black 0-15, white 16-23, black
        // 24-31, white 32-47.
        QCOMPARE(byteAt(screen, 128 + 0), 0xFF);
        QCOMPARE(byteAt(screen, 128 + 1), 0xFF);
        QCOMPARE(byteAt(screen, 128 + 2), 0x00);
        QCOMPARE(byteAt(screen, 128 + 3), 0xFF);
        QCOMPARE(byteAt(screen, 128 + 4), 0x00);
        for (int slot = 0; slot < 16; ++slot)
            QCOMPARE(byteAt(palette, 128 + 3 + 12 * slot), slot % 2 == 0 ? 0x4B : 0x54);
        expectSameAsConverter(path, samplePath("checkerboard-mode2.pcx"), layout, {});
    }

    void modeZeroPictureIsSavedAsTheConverterSavesIt() {
        auto form = makeForm(ScreenLayout::AtC000);
        openThroughMenu(*form, samplePath("sunset-mode0.pcx"));
        const QString path = dir.filePath(QStringLiteral("sunset.scr"));
        saveThroughMenu(*form, path);
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
        expectSameAsConverter(path, samplePath("sunset-mode0.pcx"), ScreenLayout::AtC000, {});
    }

    void cleanup() {
        // Each case starts with an empty folder.
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

private:
    void expectSameAsConverter(const QString& screenPath, const QString& picture, ScreenLayout layout,
                               const QStringList& options) {
        QTemporaryDir converted;
        QStringList arguments = options;
        if (layout == ScreenLayout::AtC000) arguments << QStringLiteral("--c000");
        const QString target = converted.filePath(QStringLiteral("converted.scr"));
        arguments << picture << target;
        QProcess converter;
        converter.start(QStringLiteral(VARNOKE_CONVERTER), arguments);
        QVERIFY(converter.waitForFinished(60000));
        QCOMPARE(converter.exitCode(), 0);
        QString palettePath = screenPath;
        palettePath.replace(QRegularExpression(QStringLiteral("\\.scr$")), QStringLiteral(".pal"));
        QCOMPARE(readFile(screenPath), readFile(target));
        QCOMPARE(readFile(palettePath), readFile(converted.filePath(QStringLiteral("converted.pal"))));
    }

    QTemporaryDir dir;
};

QTEST_MAIN(WindowSaveTest)
#include "window_save_test.moc"
