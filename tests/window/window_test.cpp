// What only the window does, driven through its menus, clicks and keys on the offscreen
// platform: its handlers, the refusals it shows, and saves that are byte for byte what
// the converter writes. What the core computes is the core tests' to check.
#include "window_test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace window_test;
using varnoke::ScreenLayout;

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid()); }

    void openingShowsThePictureAndARefusedFileChangesNothing() {
        auto form = makeForm();
        const QString path = samplePath("sunset-mode1.pcx");
        openThroughMenu(*form, path);
        QCOMPARE(label(*form, "LabelMode")->text(), QStringLiteral("1"));
        const QStringList lines = linesSince(*form, 1);
        QCOMPARE(lines.first(), path);
        QCOMPARE(lines.mid(lines.size() - 3),
                 (QStringList{"- Building Palette ...", "- Viewing Picture ...", "- Picture Ready"}));
        QCOMPARE(picture(*form).pixelColor(0, 0), displayColor(2));  // the sky
        QVERIFY(edit(*form, "TELow")->isEnabled());

        const QImage shown = picture(*form);
        QByteArray cut = readFile(samplePath("checkerboard-mode2.pcx"));
        cut.truncate(cut.size() / 2);
        QFile truncated(dir.filePath(QStringLiteral("cut.pcx")));
        QVERIFY(truncated.open(QIODevice::WriteOnly) && truncated.write(cut) == cut.size());
        truncated.close();
        for (const QString& bad : {truncated.fileName(), dir.filePath(QStringLiteral("missing.pcx")), QString()}) {
            const qsizetype count = logLines(*form).size();
            openThroughMenu(*form, bad);  // an empty name: the dialog was cancelled, nothing is logged
            QCOMPARE(linesSince(*form, count).value(0), bad.isEmpty() ? QString() : bad);
            QVERIFY(!linesSince(*form, count).contains(QStringLiteral("- Picture Ready")));
            QCOMPARE(picture(*form), shown);
            QCOMPARE(label(*form, "LabelMode")->text(), QStringLiteral("1"));
            QCOMPARE(inkBox(*form, 0)->text(), QStringLiteral("2"));
        }
    }

    void clickingAPenThenAColourRecoloursItsBoxAndPixels() {
        auto form = makeForm();
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        int pen = 0;
        while (inkBox(*form, pen)->text() != QStringLiteral("9")) ++pen;  // the near hill
        const QImage before = picture(*form);
        clickInk(*form, pen);
        QVERIFY(inkBox(*form, pen)->isThreeD());
        const qsizetype count = logLines(*form).size();
        clickCpcColor(*form, 20);
        QCOMPARE(linesSince(*form, count),
                 (QStringList{QStringLiteral("Color selected : %1").arg(pen), "filtre : 9", "hard : 20",
                              "- Building Palette ...", "- Viewing Picture ...", "- Picture Ready"}));
        QCOMPARE(inkBox(*form, pen)->color(), displayColor(20));
        QCOMPARE(inkBox(*form, pen)->text(), QStringLiteral("20"));
        const QImage after = picture(*form);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x)
                QCOMPARE(after.pixelColor(x, y),
                         before.pixelColor(x, y) == displayColor(9) ? displayColor(20) : before.pixelColor(x, y));

        // An empty pen has no colour to change: one line says so, nothing is redrawn.
        clickInk(*form, 20);
        const QStringList log = logLines(*form);
        clickCpcColor(*form, 5);
        QCOMPARE(logLines(*form).size(), log.size() + 1);
        QCOMPARE(picture(*form), after);
    }

    // Refusals are told where the eye is: a save with nothing loaded before any file
    // dialog, a picture that Open does not take offered to the import, a refused first
    // file that claims no picture is kept, and the title names the opened file.
    void refusalsAreToldAndOpenOffersTheImport() {
        auto form = makeForm();
        QCOMPARE(form->windowTitle(), QStringLiteral("Varnoke PCX"));
        QVERIFY(!form->windowIcon().isNull());
        bool asked = false;
        form->setSaveChooser([&asked] { return asked = true, std::optional<QString>(); });
        trigger(*form, "SaveFileMenu");
        QVERIFY(!asked);
        QVERIFY(notices(*form).value(0).contains(QStringLiteral("Import Picture")));

        QImage photo(64, 40, QImage::Format_RGB32);
        photo.fill(QColor(200, 120, 40));
        const QString png = dir.filePath(QStringLiteral("photo.png"));
        QVERIFY(photo.save(png));
        QString question;
        int imports = 0;
        form->setImportQuestion([&question](const QString& text) { return question = text, true; });
        form->setImportRunner([&imports](varnoke::ImportDialog&) { return ++imports, false; });
        openThroughMenu(*form, png);
        QVERIFY(question.contains(QStringLiteral("photo.png is a PNG picture")));
        QCOMPARE(imports, 1);
        QVERIFY(logLines(*form).contains(QStringLiteral("Format de fichier inconnu !!!")));

        openThroughMenu(*form, dir.filePath(QStringLiteral("missing.pcx")));
        QVERIFY(notices(*form).last().startsWith(QStringLiteral("Open File: missing.pcx was not opened: ")));
        QVERIFY(!logLines(*form).last().contains(QStringLiteral("kept")));  // no picture to keep yet
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        QCOMPARE(form->windowTitle(), QStringLiteral("sunset-mode1.pcx - Varnoke PCX"));
    }

    // Six colours in four pens: refused, then fixed by clicks, then the converter's bytes.
    void aRefusedSaveSaysWhyAndTheFixedSaveIsTheConvertersBytes() {
        auto form = makeForm(ScreenLayout::AtC000);
        const QString picturePath = samplePath("sunset-mode1-six-colours.pcx");
        openThroughMenu(*form, picturePath);
        const QString path = dir.filePath(QStringLiteral("six.scr"));
        qsizetype count = logLines(*form).size();
        saveThroughMenu(*form, path);
        QStringList lines = linesSince(*form, count);
        QCOMPARE(lines.value(0), path);
        QCOMPARE(lines.value(1),
                 QStringLiteral("4 n'est pas dans la palette - index: %1").arg(inkBox(*form, 4)->text()));
        QCOMPARE(lines.value(2), QString::fromUtf8("!!! Des couleurs restent \xC3\xA0 modifier !!!"));
        QVERIFY(QDir(dir.path()).isEmpty());

        QStringList arguments{QStringLiteral("--c000")};
        for (const int surplus : {4, 5}) {  // pen 4 shows pen 0's colour, pen 5 pen 1's
            const QString filter = inkBox(*form, surplus)->text(), shown = inkBox(*form, surplus - 4)->text();
            clickInk(*form, surplus);
            clickCpcColor(*form, shown.toInt());
            arguments << QStringLiteral("--map") << filter + QLatin1Char('=') + shown;
        }
        saveThroughMenu(*form, path);
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
        const QString converted = dir.filePath(QStringLiteral("converted"));
        QCOMPARE(run(QStringLiteral(VARNOKE_CONVERTER), arguments << picturePath << converted), QString());
        QCOMPARE(readFile(path), readFile(converted + QStringLiteral(".scr")));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("six.pal"))), readFile(converted + QStringLiteral(".pal")));
        QCOMPARE(readFile(path).size(), 16512);
    }

    // Ctrl+F fits the surplus pens; the disc image then holds, as cpmtools reads it, the
    // files that the Save command writes, under the name of the last accepted picture.
    void fitByShortcutThenTheDiscHoldsTheSavedFiles() {
        auto form = makeForm();
        openThroughMenu(*form, samplePath("sunset-mode1-six-colours.pcx"));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        qsizetype count = logLines(*form).size();
        QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(linesSince(*form, count).filter(QStringLiteral("Fit: pen ")).size(), 2);
        count = logLines(*form).size();
        QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(linesSince(*form, count),
                 QStringList{QStringLiteral("Fit: nothing to change, every pen shows a colour of the mode")});

        saveThroughMenu(*form, dir.filePath(QStringLiteral("reference.scr")));
        openThroughMenu(*form, dir.filePath(QStringLiteral("missing.pcx")));
        const QString disc = dir.filePath(QStringLiteral("pictures.dsk"));
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
        const QString cpm = QStringLiteral("cpmls");
        QCOMPARE(run(cpm, {QStringLiteral("-f"), QStringLiteral("cpcdata"), disc}).simplified(),
                 QStringLiteral("0: sunset-m.bas sunset-m.pal sunset-m.scr"));
        for (const char* name : {"SUNSET-M.SCR", "SUNSET-M.PAL"}) {
            const QString out = dir.filePath(QString::fromLatin1(name));
            run(QStringLiteral("cpmcp"), {QStringLiteral("-f"), QStringLiteral("cpcdata"), disc,
                                          QStringLiteral("0:") + QString::fromLatin1(name), out});
            QCOMPARE(readFile(out), readFile(dir.filePath(QStringLiteral("reference.") +
                                                          QString::fromLatin1(name).right(3).toLower())));
        }
    }

    void cleanup() {
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
