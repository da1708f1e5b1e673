// What a desktop program is expected to do, driven through the real window: shortcuts,
// a larger window, the bars' wheel, arrows and typed numbers,
// Reset Colours, the disc save's name and question, and remembered folders.
#include "window_test_support.h"

#include "window/window_settings.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

using namespace window_test;

namespace {

const QStringList kRebuild{"- Building Palette ...", "- Viewing Picture ...", "- Picture Ready"};

// Types `text` over the box's number, with Return unless `enter` is false.
void typeThreshold(TMainForm& form, const char* name, const QString& text, bool enter = true) {
    QLineEdit* box = edit(form, name);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, text);
    if (enter) QTest::keyClick(box, Qt::Key_Return);
}

}  // namespace

class WindowDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void init() { form = makeForm(); }
    void cleanup() { form.reset(); }

    void shortcutsOpenSaveAndExit() {
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->setOpenChooser([] { return std::optional<QString>(samplePath("sunset-mode1.pcx")); });
        QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(logLines(*form).last(), QStringLiteral("- Picture Ready"));
        bool asked = false;
        form->setSaveChooser([&asked] { return asked = true, std::optional<QString>(); });
        QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(asked);
        QTest::keyClick(form.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(child<QMenu>(*form, "FileMenu")->isVisible());
        QTest::keyClick(child<QMenu>(*form, "FileMenu"), Qt::Key_Escape);
        QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!form->isVisible());
    }

    void aLargerWindowGivesThePictureWholeFactorsAndTheLogMoreLines() {
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        const QImage area = picture(*form);
        auto* view = child<varnoke::PictureView>(*form, "Image");
        auto* log = child<QPlainTextEdit>(*form, "Debug");
        const QSize first = form->size();
        // 640 more pixels of width, 400 more of height: 300 to the picture, the rest to the log.
        form->resize(first + QSize(640, 400));
        QTRY_COMPARE(view->size(), QSize(1280, 700));
        QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
        // The mode 1 picture (320 × 200) three times over, centred: 1280 / 320 = 4, 700 / 200 = 3.
        const varnoke::WholeScaling placed = view->scaling();
        QCOMPARE(QList<int>({placed.factor, placed.left, placed.top}),
                 QList<int>({3, (1280 - 960) / 2, (700 - 600) / 2}));
        const QImage shown = view->grab().toImage();
        for (const QPoint source : {QPoint(0, 0), QPoint(319, 199), QPoint(157, 101)})
            for (const QPoint inside : {QPoint(0, 0), QPoint(2, 2)})
                QCOMPARE(shown.pixelColor(placed.left + 3 * source.x() + inside.x(),
                                          placed.top + 3 * source.y() + inside.y()),
                         area.pixelColor(source));
        QCOMPARE(shown.pixelColor(placed.left - 1, placed.top), form->palette().color(QPalette::Button));

        form->resize(first - QSize(100, 100));  // never smaller than at first
        QTRY_COMPARE(view->size(), QSize(640, 400));
    }

    void barsTakeTheWheelArrowsAndTypedNumbersThroughTheirHandlers() {
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QScrollBar* low = bar(*form, "TSLow");
        qsizetype count = logLines(*form).size();
        QWheelEvent wheel(QPointF(5, 5), low->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, 120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(low, &wheel);
        QCOMPARE(low->value(), 22);
        QCOMPARE(linesSince(*form, count), kRebuild);
        low->setFocus();
        QTest::keyClick(low, Qt::Key_Left);
        QCOMPARE(edit(*form, "TELow")->text(), QStringLiteral("21"));

        // A typed Low that meets High pushes High up, as a move of the bar does; one digit is
        // enough; beyond the range is the end of it.
        const std::tuple<const char*, int, int, int> typed[] = {
            {"TELow", 41, 41, 42}, {"TELow", 7, 7, 42}, {"TEHigh", 75, 7, 62}};
        for (const auto& [box, number, lowValue, highValue] : typed) {
            count = logLines(*form).size();
            typeThreshold(*form, box, QString::number(number));
            QCOMPARE(linesSince(*form, count), kRebuild);
            QCOMPARE(QList<int>({low->value(), bar(*form, "TSHigh")->value()}), QList<int>({lowValue, highValue}));
            QCOMPARE(edit(*form, "TELow")->text() + " " + edit(*form, "TEHigh")->text(),
                     QStringLiteral("%1 %2").arg(lowValue).arg(highValue));
        }

        // A number left without Return is not in effect, so the box does not keep it.
        count = logLines(*form).size();
        typeThreshold(*form, "TELow", QStringLiteral("3"), false);
        low->setFocus();
        QCOMPARE(edit(*form, "TELow")->text(), QStringLiteral("7"));
        QCOMPARE(logLines(*form).size(), count);
    }

    void resetColoursUndoesEverySubstitution() {
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        const QImage before = picture(*form);
        const QString colour = inkBox(*form, 1)->text();
        clickInk(*form, 1);
        clickCpcColor(*form, 26);
        QCOMPARE(inkBox(*form, 1)->text(), QStringLiteral("26"));
        const qsizetype count = logLines(*form).size();
        child<QAction>(*form, "ResetColoursMenu")->trigger();
        QCOMPARE(linesSince(*form, count), QStringList{"Colours reset: every colour shows as itself"} + kRebuild);
        QCOMPARE(inkBox(*form, 1)->text(), colour);
        QCOMPARE(picture(*form), before);
        for (int n = 0; n < 27; ++n) QCOMPARE(form->state().colorSubstitution[static_cast<std::size_t>(n)], n);
    }

    void theDiscSaveAsksForTheNameAndBeforeReplacing() {
        QTemporaryDir dir;
        const QString accented = dir.filePath(QString::fromUtf8("\xC3\xA9t\xC3\xA9 \xC3\xA0 No\xC3\xABl.pcx"));
        QVERIFY(QFile::copy(samplePath("sunset-mode1.pcx"), accented));
        openThroughMenu(*form, accented);
        QString proposed, asked;
        bool replace = false;
        form->setDiscNameChooser([&](const QString& name) { return proposed = name, std::optional(QString("HILLS")); });
        form->setReplaceQuestion([&](const QString& question) { return asked = question, replace; });
        const QString disc = dir.filePath(QStringLiteral("pictures.dsk"));
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(proposed, QStringLiteral("ETE_A_NO"));
        QVERIFY(asked.isEmpty());
        QVERIFY(logLines(*form).contains(QStringLiteral("Disc file HILLS.SCR: 16512 bytes in 17 KB")));

        // The same name again: the user is asked, and "no" leaves the disc and the log alone.
        const QByteArray image = readFile(disc);
        const QStringList log = logLines(*form);
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(asked, QStringLiteral("pictures.dsk already holds HILLS.SCR, HILLS.PAL and HILLS.BAS. Replace them?"));
        QCOMPARE(logLines(*form), log);
        QCOMPARE(readFile(disc), image);
        replace = true;
        saveToDiscThroughMenu(*form, disc);
        QVERIFY(logLines(*form).contains(QStringLiteral("Replaced HILLS.SCR on the disc")));
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
    }

    void theFolderOfTheLastChosenFileIsRemembered() {
        QTemporaryDir dir;
        openThroughMenu(*form, samplePath("sunset-mode0.pcx"));
        saveThroughMenu(*form, dir.filePath(QStringLiteral("nothing.scr")));
        QCOMPARE(varnoke::WindowSettings().lastFolder(), dir.path());
    }

private:
    std::unique_ptr<TMainForm> form;
};

QTEST_MAIN(WindowDesktopTest)
#include "window_desktop_test.moc"
