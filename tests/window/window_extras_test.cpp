// The Palette menu's "Fit Palette" and File > "Save to disc image ...": a picture with
// more colours than its mode has pens becomes savable in one keystroke, and the disc
// image then holds, as cpmtools reads it, exactly the files the Save command writes.
#include "window_test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using namespace window_test;
using varnoke::ScreenLayout;

namespace {

// What fitting should do to one surplus pen, worked out from the colours the Ink boxes
// show: the nearest pen of the mode by 59 dG² + 30 dR² + 11 dB² over the colours'
// levels, the lower pen on a tie.
struct ExpectedFit {
    int pen;
    int shown;
    int color;
    int modePen;
};

int levelDistance(int a, int b) {
    const int green = a / 9 - b / 9;
    const int red = a / 3 % 3 - b / 3 % 3;
    const int blue = a % 3 - b % 3;
    return 59 * green * green + 30 * red * red + 11 * blue * blue;
}

// Pens 4 and up of a mode 1 picture whose boxes show a number.
std::vector<ExpectedFit> expectedFits(const TMainForm& form) {
    std::vector<ExpectedFit> fits;
    for (int pen = 4; pen < 27 && !inkBox(form, pen)->text().isEmpty(); ++pen) {
        const int shown = inkBox(form, pen)->text().toInt();
        int best = -1;
        bool alreadyShown = false;
        for (int candidate = 0; candidate < 4; ++candidate) {
            const int color = inkBox(form, candidate)->text().toInt();
            if (color == shown) alreadyShown = true;
            if (best < 0 || levelDistance(shown, color) < levelDistance(shown, inkBox(form, best)->text().toInt()))
                best = candidate;
        }
        if (!alreadyShown) fits.push_back({pen, shown, inkBox(form, best)->text().toInt(), best});
    }
    return fits;
}

#define SKIP_WITHOUT_CPMTOOLS()                                            \
    if (QStandardPaths::findExecutable(QStringLiteral("cpmls")).isEmpty()) \
    QSKIP("cpmtools is not installed (scripts/setup installs it)")

void pressFitShortcut(TMainForm& form) {
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
}

// Runs a cpmtools program; its standard output, or a failed comparison.
QString cpmtool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAllStandardError()));
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The names cpmls lists on a CPC data disc, lower case as it prints them, sorted.
QStringList discListing(const QString& disc) {
    QStringList names = cpmtool(QStringLiteral("cpmls"), {QStringLiteral("-f"), QStringLiteral("cpcdata"), disc})
                            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    names.removeAll(QStringLiteral("0:"));
    for (QString& name : names) name = name.trimmed();
    names.sort();
    return names;
}

QByteArray fileFromDisc(const QString& disc, const QString& name, const QString& folder) {
    const QString out = QDir(folder).filePath(QStringLiteral("from-disc-") + name);
    const QString result = cpmtool(QStringLiteral("cpmcp"), {QStringLiteral("-f"), QStringLiteral("cpcdata"), disc,
                                                             QStringLiteral("0:") + name, out});
    if (!result.isEmpty()) qWarning("%s", qPrintable(result));
    return readFile(out);
}

}  // namespace

class WindowExtrasTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid()); }

    void cleanup() {
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

    void fittingByShortcutMakesASixColourPictureSavable() {
        auto form = makeForm();
        openThroughMenu(*form, samplePath("sunset-mode1-six-colours.pcx"));
        const QString path = dir.filePath(QStringLiteral("six.scr"));
        QStringList modeTexts;
        for (int pen = 0; pen < 4; ++pen) modeTexts << inkBox(*form, pen)->text();
        const std::vector<ExpectedFit> fits = expectedFits(*form);
        QVERIFY(!fits.empty());  // the save tests check that this picture is refused unfitted
        const QImage before = picture(*form);

        qsizetype count = logLines(*form).size();
        pressFitShortcut(*form);
        QStringList expected;
        for (const ExpectedFit& fit : fits)
            expected << QStringLiteral("Fit: pen %1 (filter colour %2) now shows CPC colour %3, like pen %4")
                            .arg(fit.pen)
                            .arg(fit.shown)
                            .arg(fit.color)
                            .arg(fit.modePen);
        expected << "- Building Palette ..."
                 << "- Viewing Picture ..."
                 << "- Picture Ready";
        QCOMPARE(linesSince(*form, count), expected);

        for (int pen = 0; pen < 4; ++pen) QCOMPARE(inkBox(*form, pen)->text(), modeTexts[pen]);
        for (const ExpectedFit& fit : fits) {
            QCOMPARE(inkBox(*form, fit.pen)->text(), QString::number(fit.color));
            QCOMPARE(inkBox(*form, fit.pen)->color(), displayColor(fit.color));
        }
        // The picture now shows only the mode's colours: every pixel that had a fitted
        // pen's colour has its new one.
        const QImage after = picture(*form);
        for (int y = 0; y < 200; y += 3)
            for (int x = 0; x < 320; x += 3) {
                QColor expectedColour = before.pixelColor(x, y);
                for (const ExpectedFit& fit : fits)
                    if (expectedColour == displayColor(fit.shown)) expectedColour = displayColor(fit.color);
                QCOMPARE(after.pixelColor(x, y), expectedColour);
            }

        // A second fit finds nothing to do and redraws nothing.
        count = logLines(*form).size();
        pressFitShortcut(*form);
        QCOMPARE(linesSince(*form, count),
                 QStringList{QStringLiteral("Fit: nothing to change, every pen shows a colour of the mode")});
        QCOMPARE(picture(*form), after);

        saveThroughMenu(*form, path);
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
        QCOMPARE(QFileInfo(path).size(), 16512);
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("six.pal"))).size(), 367);
    }

    void fittingWithoutAPictureChangesNothing() {
        auto form = makeForm();
        const QImage blank = picture(*form);
        action(*form, "FitPaletteMenu")->trigger();
        QCOMPARE(linesSince(*form, 1),
                 QStringList{QStringLiteral("Fit: nothing to change, every pen shows a colour of the mode")});
        QCOMPARE(picture(*form), blank);
    }

    void theDiscHoldsTheFilesTheSaveCommandWrites_data() {
        QTest::addColumn<ScreenLayout>("layout");
        QTest::newRow("&4000") << ScreenLayout::At4000;
        QTest::newRow("&C000") << ScreenLayout::AtC000;
    }
    void theDiscHoldsTheFilesTheSaveCommandWrites() {
        SKIP_WITHOUT_CPMTOOLS();
        QFETCH(ScreenLayout, layout);
        auto form = makeForm(layout);
        openThroughMenu(*form, samplePath("sunset-mode1-six-colours.pcx"));
        action(*form, "FitPaletteMenu")->trigger();
        const QString reference = dir.filePath(QStringLiteral("reference.scr"));
        saveThroughMenu(*form, reference);
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));

        const QString disc = dir.filePath(QStringLiteral("pictures.dsk"));
        const qsizetype count = logLines(*form).size();
        saveToDiscThroughMenu(*form, disc);
        const QStringList lines = linesSince(*form, count);
        // The disc's name, the same building lines as the Save command, then the disc's own: a new disc of
        // 178 free 1 KB blocks and 64 entries; the screen file (129 records) takes 17
        // blocks in two 16 KB extents, the palette file one block in one entry.
        QCOMPARE(lines.value(0), disc);
        QCOMPARE(lines.value(1), QStringLiteral("Saving ... "));
        QCOMPARE(
            lines.mid(lines.size() - 6),
            (QStringList{QStringLiteral("Disc image %1 ...").arg(disc),
                         "Creating a CPC data disc: 40 tracks of 9 sectors &C1-&C9",
                         "Disc file SUNSET-M.SCR: 16512 bytes in 17 KB", "Disc file SUNSET-M.PAL: 367 bytes in 1 KB",
                         "Disc image Ok: 160 KB and 61 directory entries free", "Saving Ok ... "}));
        QVERIFY(QFileInfo(disc).size() > 0);

        QCOMPARE(discListing(disc), (QStringList{"sunset-m.pal", "sunset-m.scr"}));
        QCOMPARE(fileFromDisc(disc, QStringLiteral("SUNSET-M.SCR"), dir.path()), readFile(reference));
        QCOMPARE(fileFromDisc(disc, QStringLiteral("SUNSET-M.PAL"), dir.path()),
                 readFile(dir.filePath(QStringLiteral("reference.pal"))));
    }

    void theDiscNamesComeFromTheLastAcceptedPicture() {
        SKIP_WITHOUT_CPMTOOLS();
        auto form = makeForm();
        const QString disc = dir.filePath(QStringLiteral("pictures.dsk"));
        openThroughMenu(*form, samplePath("checkerboard-mode2.pcx"));
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));

        // A file that is not a picture is refused and leaves the name as it was.
        openThroughMenu(*form, dir.filePath(QStringLiteral("missing.pcx")));
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
        QCOMPARE(discListing(disc), (QStringList{"checkerb.pal", "checkerb.scr"}));
        QVERIFY(logLines(*form).contains(QStringLiteral("Replaced CHECKERB.SCR on the disc")));

        // Another picture is added next to the first; the first stays readable.
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
        QCOMPARE(discListing(disc), (QStringList{"checkerb.pal", "checkerb.scr", "sunset-m.pal", "sunset-m.scr"}));
        saveThroughMenu(*form, dir.filePath(QStringLiteral("hills.scr")));
        QCOMPARE(fileFromDisc(disc, QStringLiteral("SUNSET-M.SCR"), dir.path()),
                 readFile(dir.filePath(QStringLiteral("hills.scr"))));
        QCOMPARE(fileFromDisc(disc, QStringLiteral("CHECKERB.PAL"), dir.path()).size(), 367);
    }

    void refusedDiscSavesWriteNoImage() {
        auto form = makeForm();
        const QString disc = dir.filePath(QStringLiteral("refused.dsk"));
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(linesSince(*form, 1),
                 (QStringList{disc,
                              QStringLiteral("Nothing saved: there is no picture to save: open a PCX picture first")}));

        openThroughMenu(*form, samplePath("sunset-mode1-six-colours.pcx"));
        const qsizetype count = logLines(*form).size();
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(linesSince(*form, count),
                 (QStringList{
                     disc, QStringLiteral("4 n'est pas dans la palette - index: %1").arg(inkBox(*form, 4)->text()),
                     QString::fromUtf8("!!! Des couleurs restent \xC3\xA0 modifier !!!"), refusalAdvice(*form, 4)}));
        QVERIFY(QDir(dir.path()).isEmpty());

        // A cancelled chooser logs nothing.
        const QStringList log = logLines(*form);
        saveToDiscThroughMenu(*form, QString());
        QCOMPARE(logLines(*form), log);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(WindowExtrasTest)
#include "window_extras_test.moc"
