// Palette editing through the window: picking a pen, giving its colour another CPC
// colour, and moving the threshold bars, each with the log lines, boxes and picture it
// must leave.
#include "window_test_support.h"

#include <QTest>

using namespace window_test;

class WindowPaletteTest : public QObject {
    Q_OBJECT

private slots:
    void init() { form = makeForm(); }
    void cleanup() { form.reset(); }

    void clickingAnInkBoxMovesTheSunkenBorder() {
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        const QStringList log = logLines(*form);
        clickInk(*form, 3);
        QVERIFY(inkBox(*form, 3)->isThreeD());
        QCOMPARE(form->state().selectedPen, 3);
        clickInk(*form, 1);
        QVERIFY(inkBox(*form, 1)->isThreeD());
        QVERIFY(!inkBox(*form, 3)->isThreeD());
        clickInk(*form, 1);
        QVERIFY(inkBox(*form, 1)->isThreeD());
        clickInk(*form, 26);  // an empty pen past the mode's four can be picked too
        QCOMPARE(form->state().selectedPen, 26);
        for (int pen = 0; pen < 26; ++pen) QVERIFY(!inkBox(*form, pen)->isThreeD());
        QCOMPARE(logLines(*form), log);  // picking logs nothing
    }

    void givingAPenAnotherColourRecoloursItsBoxAndItsPixels() {
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        const int pen = penShowing(9);  // the near hill, green 0x7F
        QVERIFY(pen >= 0);
        const QImage before = picture(*form);
        clickInk(*form, pen);
        const qsizetype count = logLines(*form).size();
        clickCpcColor(*form, 20);
        QCOMPARE(linesSince(*form, count),
                 (QStringList{QStringLiteral("Color selected : %1").arg(pen), "filtre : 9", "hard : 20",
                              "- Building Palette ...", "- Viewing Picture ...", "- Picture Ready"}));
        QCOMPARE(inkBox(*form, pen)->color(), displayColor(20));
        QCOMPARE(inkBox(*form, pen)->text(), QStringLiteral("20"));
        // Every hill pixel turns cyan; every other pixel stays as it was.
        const QImage after = picture(*form);
        int changed = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x) {
                if (before.pixelColor(x, y) == displayColor(9)) {
                    QCOMPARE(after.pixelColor(x, y), displayColor(20));
                    ++changed;
                } else {
                    QCOMPARE(after.pixel(x, y), before.pixel(x, y));
                }
            }
        QVERIFY(changed > 1000);
    }

    void aColourClickOnAnEmptyPenChangesNothing() {
        // Before any picture, pen 0 is empty.
        clickCpcColor(*form, 5);
        QCOMPARE(logLines(*form).size(), 2);

        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        clickInk(*form, 20);
        const QStringList log = logLines(*form);
        const QImage shown = picture(*form);
        QStringList texts;
        for (int pen = 0; pen < 27; ++pen) texts << inkBox(*form, pen)->text();
        clickCpcColor(*form, 5);
        QCOMPARE(logLines(*form).size(), log.size() + 1);  // one line says why, no rebuild
        QCOMPARE(picture(*form), shown);
        for (int pen = 0; pen < 27; ++pen) QCOMPARE(inkBox(*form, pen)->text(), texts[pen]);
        for (int n = 0; n < 27; ++n) QCOMPARE(form->state().colorSubstitution[static_cast<std::size_t>(n)], n);
    }

    void anArrowClickMovesABarOneStepAndRebuildsOnce() {
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        const qsizetype count = logLines(*form).size();
        QScrollBar* low = bar("TSLow");
        QTest::mouseClick(low, Qt::LeftButton, {}, QPoint(low->width() - 3, low->height() / 2));
        QCOMPARE(low->value(), 22);
        QCOMPARE(edit("TELow")->text(), QStringLiteral("22"));
        QCOMPARE(linesSince(*form, count),
                 (QStringList{"- Building Palette ...", "- Viewing Picture ...", "- Picture Ready"}));
    }

    void barsPushEachOtherOnlyWhenTheyMeet() {
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        move("TSLow", 40);
        qsizetype count = logLines(*form).size();
        move("TSLow", 41);  // meets High at 41: High goes up to 42
        expectThresholds(41, 42);
        QCOMPARE(linesSince(*form, count).count(QStringLiteral("- Building Palette ...")), 1);

        count = logLines(*form).size();
        move("TSHigh", 41);  // meets Low at 41: Low goes down to 40
        expectThresholds(40, 41);
        QCOMPARE(linesSince(*form, count).size(), 3);

        bar("TSLow")->triggerAction(QAbstractSlider::SliderToMaximum);  // jumps past High: left crossed
        expectThresholds(62, 41);
        bar("TSHigh")->triggerAction(QAbstractSlider::SliderToMaximum);  // meets Low at 62: Low to 61
        expectThresholds(61, 62);
        move("TSLow", 62);  // High cannot go past 62
        expectThresholds(62, 62);

        bar("TSHigh")->triggerAction(QAbstractSlider::SliderToMinimum);
        expectThresholds(62, 0);
        bar("TSLow")->triggerAction(QAbstractSlider::SliderToMinimum);  // meets High at 0: High to 1
        expectThresholds(0, 1);
        move("TSHigh", 0);  // Low cannot go below 0
        expectThresholds(0, 0);
    }

    void thresholdsDecideThePens() {
        openThroughMenu(*form, samplePath("sunset-mode1.pcx"));
        // Both at 62: only a component of 252 or more counts, as full. Sky (0, 60, 200),
        // both hills and the sun (255, 255, 120) become black, black, black and yellow.
        move("TSHigh", 62);
        move("TSLow", 62);
        expectThresholds(62, 62);
        QCOMPARE(inkBox(*form, 0)->text(), QStringLiteral("0"));
        QCOMPARE(inkBox(*form, 1)->text(), QStringLiteral("24"));
        QCOMPARE(inkBox(*form, 1)->color(), displayColor(24));
        QCOMPARE(inkBox(*form, 2)->text(), QString());
        const QImage area = picture(*form);
        QCOMPARE(area.pixelColor(0, 0), displayColor(0));
        QCOMPARE(area.pixelColor(220, 110), displayColor(24));
    }

    void aMoveBeforeAnyPictureStillRebuilds() {
        move("TSLow", 30);
        QCOMPARE(linesSince(*form, 1),
                 (QStringList{"- Building Palette ...", "- Viewing Picture ...", "- Picture Ready"}));
        QCOMPARE(edit("TELow")->text(), QStringLiteral("30"));
        QCOMPARE(inkBox(*form, 0)->text(), QString());
    }

private:
    QScrollBar* bar(const char* name) const { return window_test::bar(*form, name); }
    QLineEdit* edit(const char* name) const { return window_test::edit(*form, name); }

    // As a drag of the bar's thumb would: the value changes and the bar reports it.
    void move(const char* name, int position) { bar(name)->setValue(position); }

    void expectThresholds(int low, int high) const {
        QCOMPARE(bar("TSLow")->value(), low);
        QCOMPARE(bar("TSHigh")->value(), high);
        QCOMPARE(edit("TELow")->text(), QString::number(low));
        QCOMPARE(edit("TEHigh")->text(), QString::number(high));
        QCOMPARE(form->state().thresholdLow, low);
        QCOMPARE(form->state().thresholdHigh, high);
    }

    int penShowing(int cpcColor) const {
        for (int pen = 0; pen < 27; ++pen)
            if (inkBox(*form, pen)->text() == QString::number(cpcColor)) return pen;
        return -1;
    }

    std::unique_ptr<TMainForm> form;
};

QTEST_MAIN(WindowPaletteTest)
#include "window_palette_test.moc"
