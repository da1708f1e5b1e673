// The window as it stands right after start: controls, captions, geometry, menus,
// dialogs, tab order, and that every caption and box number can be read.
#include "window_test_support.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

using namespace window_test;

class WindowStartupTest : public QObject {
    Q_OBJECT

private slots:
    void init() { form = makeForm(); }
    void cleanup() { form.reset(); }

    void startsEmptyWithDefaultThresholds() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Varnoke PCX"));
        QCOMPARE(logLines(*form), QStringList{QString()});
        QCOMPARE(label("LabelMode")->text(), QStringLiteral("0"));
        for (const char* name : {"TELow", "TEHigh"}) QVERIFY(!edit(name)->isEnabled());
        QCOMPARE(edit("TELow")->text(), QStringLiteral("21"));
        QCOMPARE(edit("TEHigh")->text(), QStringLiteral("41"));
        QVERIFY(edit("TELow")->inputMask().startsWith(QStringLiteral("09")));
        for (const char* name : {"TSLow", "TSHigh", "LblLow", "LblHigh"})
            QVERIFY(form->findChild<QWidget*>(QString::fromLatin1(name))->isEnabled());
        QCOMPARE(bar("TSLow")->value(), 21);
        QCOMPARE(bar("TSHigh")->value(), 41);
        for (const char* name : {"TSLow", "TSHigh"}) {
            QCOMPARE(bar(name)->orientation(), Qt::Horizontal);
            QCOMPARE(bar(name)->minimum(), 0);
            QCOMPARE(bar(name)->maximum(), 62);
            QCOMPARE(bar(name)->singleStep(), 1);
            QCOMPARE(bar(name)->pageStep(), 0);
        }
        // The whole picture area in the button-face colour.
        const QImage area = picture(*form);
        QCOMPARE(area.size(), QSize(640, 400));
        for (int y = 0; y < 400; y += 7)
            for (int x = 0; x < 640; x += 7) QCOMPARE(area.pixelColor(x, y), buttonFace(*form));
    }

    void boxesShowTheColourModelAndEmptyPens() {
        for (int k = 0; k < 27; ++k) {
            QCOMPARE(cpcBox(*form, k)->color(), displayColor(k));
            QCOMPARE(cpcBox(*form, k)->text(), QString::number(k));
            QCOMPARE(inkBox(*form, k)->color(), QColor(0x80, 0x80, 0x80));
            QCOMPARE(inkBox(*form, k)->text(), QString());
            QVERIFY(!inkBox(*form, k)->isThreeD());
            QVERIFY(!cpcBox(*form, k)->isThreeD());
        }
        QCOMPARE(cpcBox(*form, 13)->color(), QColor(0x7F, 0x7F, 0x7F));
    }

    void controlsSitWhereTheWindowDefinitionPutsThem() {
        struct Expected {
            const char* name;
            const char* parent;
            QRect geometry;
        };
        const Expected controls[] = {
            {"GBImage", "Client", {0, 0, 657, 417}},
            {"Image", "GBImage", {7, 13, 640, 400}},
            {"GBMode", "Client", {0, 416, 641, 185}},
            {"Debug", "GBMode", {8, 16, 625, 41}},
            {"Label1", "GBMode", {16, 66, 30, 13}},
            {"LabelMode", "GBMode", {53, 66, 19, 17}},
            {"LblLow", "GBMode", {16, 90, 26, 13}},
            {"TSLow", "GBMode", {45, 90, 18, 15}},
            {"TELow", "GBMode", {64, 90, 25, 21}},
            {"LblHigh", "GBMode", {16, 111, 31, 13}},
            {"TSHigh", "GBMode", {45, 114, 18, 15}},
            {"TEHigh", "GBMode", {64, 114, 25, 21}},
            {"GB_Couleurs_CPC", "GBMode", {192, 57, 441, 40}},
            {"GBEncres", "GBMode", {192, 102, 441, 40}},
        };
        for (const Expected& control : controls) {
            auto* widget = form->findChild<QWidget*>(QString::fromLatin1(control.name));
            QVERIFY2(widget != nullptr, control.name);
            QCOMPARE(widget->parentWidget()->objectName(), QString::fromLatin1(control.parent));
            QCOMPARE(widget->geometry(), control.geometry);
        }
        QCOMPARE(inkBox(*form, 0)->geometry(), QRect(7, 16, 15, 17));
        QCOMPARE(cpcBox(*form, 26)->geometry(), QRect(423, 16, 15, 17));
        QCOMPARE(inkBox(*form, 26)->parentWidget()->objectName(), QStringLiteral("GBEncres"));
        QCOMPARE(cpcBox(*form, 0)->parentWidget()->objectName(), QStringLiteral("GB_Couleurs_CPC"));
        QCOMPARE(label("LabelMode")->alignment(), Qt::AlignCenter);
    }

    void captionsAreExactAndFitTheirControls() {
        const std::pair<const char*, const char*> labels[] = {
            {"Label1", "Mode:"}, {"LabelMode", "0"}, {"LblLow", "Low :"}, {"LblHigh", "High : "}};
        for (const auto& [name, text] : labels) {
            QLabel* caption = label(name);
            QCOMPARE(caption->text(), QString::fromUtf8(text));
            QVERIFY2(caption->fontMetrics().horizontalAdvance(caption->text().trimmed()) <= caption->width(), name);
            QVERIFY2(caption->fontMetrics().height() <= caption->height(), name);
        }
        const std::pair<const char*, const char*> groups[] = {{"GBImage", "Image"},
                                                              {"GBMode", "Reglages"},
                                                              {"GB_Couleurs_CPC", "Couleurs Hard CPC"},
                                                              {"GBEncres", "Palette de l'image"}};
        for (const auto& [name, title] : groups)
            QCOMPARE(form->findChild<QGroupBox*>(QString::fromLatin1(name))->title(), QString::fromUtf8(title));
        // Two digits must fit inside a box even with the sunken border of a selected pen.
        const QFontMetrics digits = inkBox(*form, 0)->fontMetrics();
        QVERIFY(digits.horizontalAdvance(QStringLiteral("26")) <= 15 - 4);
        QVERIFY(digits.height() <= 17 - 4);
        for (const char* name : {"TELow", "TEHigh"})
            QVERIFY(edit(name)->fontMetrics().horizontalAdvance(QStringLiteral("62")) <= edit(name)->width() - 6);
    }

    void onlyTheFileAndPaletteMenusCanBeUsed() {
        const QList<QAction*> menus = form->menuBar()->actions();
        QStringList titles;
        for (QAction* menu : menus) titles << menu->text();
        QCOMPARE(titles, (QStringList{"&File", "About", "Edit", "Palette"}));  // Alt+F opens File
        for (const int disabled : {1, 2}) {
            QVERIFY(!menus[disabled]->isEnabled());
            QVERIFY(!menus[disabled]->menu()->isEnabled());
        }
        QStringList fileItems, fileNames, shortcuts;
        for (QAction* item : menus[0]->menu()->actions()) {
            fileItems << item->text();
            fileNames << item->objectName();
            shortcuts << item->shortcut().toString();
            QVERIFY(item->isEnabled());
        }
        QCOMPARE(shortcuts, (QStringList{"Ctrl+O", "Ctrl+I", "Ctrl+S", "", "Ctrl+Q"}));
        QVERIFY(menus[0]->isEnabled());
        QCOMPARE(fileItems, (QStringList{"Open File ...", "Import Picture ...", "Save File ...",
                                         "Save to disc image ...", "Exit"}));
        QCOMPARE(fileNames,
                 (QStringList{"OpenFileMenu", "ImportMenu", "SaveFileMenu", "SaveDiscMenu", "ExitFileMenu"}));
        QStringList editItems;
        for (QAction* item : menus[2]->menu()->actions()) editItems << item->text();
        QCOMPARE(editItems, (QStringList{"Decode Amsdos", "Decode PCX", "Affiche image"}));
        QVERIFY(menus[1]->menu()->actions().isEmpty());
        QVERIFY(menus[3]->isEnabled() && menus[3]->menu()->isEnabled());
        QCOMPARE(menus[3]->menu()->actions(),
                 (QList<QAction*>{action(*form, "FitPaletteMenu"), action(*form, "ResetColoursMenu"),
                                  action(*form, "OcpPaletteMenu")}));
        QCOMPARE(action(*form, "FitPaletteMenu")->text(), QStringLiteral("Fit Palette"));
        QVERIFY(action(*form, "FitPaletteMenu")->isEnabled());
        QCOMPARE(action(*form, "FitPaletteMenu")->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
    }

    void dialogsCarryTheirTitlesAndFilters() {
        auto* open = form->findChild<QFileDialog*>(QStringLiteral("OpenPicture"));
        auto* save = form->findChild<QFileDialog*>(QStringLiteral("SavePicture"));
        QVERIFY(open && save);
        QCOMPARE(open->windowTitle(), QStringLiteral("Selection Fichier"));
        QCOMPARE(open->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(open->nameFilters(),
                 (QStringList{QString::fromUtf8("Fichiers .pcx 160*200 pixels 256 couleurs index\xC3\xA9"
                                                "es (*.pcx)"),
                              QStringLiteral("Tous les fichiers (*.*)")}));
        QCOMPARE(open->defaultSuffix(), QStringLiteral("pcx"));
        QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
        // Qt drops the trailing blank of the description.
        QCOMPARE(save->nameFilters(), QStringList{QStringLiteral("Fichiers .scr Images cpc mode 0, 1 ou 2 (*.scr)")});
        QCOMPARE(save->defaultSuffix(), QString());
        QVERIFY(save->testOption(QFileDialog::DontConfirmOverwrite));
        // Files are added to a disc image, so choosing an existing one asks nothing.
        auto* disc = form->findChild<QFileDialog*>(QStringLiteral("SaveDisc"));
        QVERIFY(disc);
        QCOMPARE(disc->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(disc->nameFilters(), QStringList{QStringLiteral("Images disque CPC (*.dsk *.DSK)")});
        QCOMPARE(disc->defaultSuffix(), QStringLiteral("dsk"));
        QVERIFY(disc->testOption(QFileDialog::DontConfirmOverwrite));
    }

    void tabOrderRunsThroughTheSettingsThenTheBoxRows() {
        QStringList expected{"Debug", "TSLow", "TELow", "TEHigh", "TSHigh"};
        for (int k = 0; k < 27; ++k) expected << QStringLiteral("Ink%1").arg(k);
        for (int k = 0; k < 27; ++k) expected << QStringLiteral("CPC_color%1").arg(k);
        QStringList chain;
        QWidget* widget = form->findChild<QWidget*>(QStringLiteral("Debug"));
        for (qsizetype i = 0; i < expected.size(); ++i, widget = widget->nextInFocusChain()) {
            while (widget->focusPolicy() == Qt::NoFocus) widget = widget->nextInFocusChain();
            chain << widget->objectName();
        }
        QCOMPARE(chain, expected);
    }

    void exitClosesTheWindowWithoutAQuestion() {
        action(*form, "ExitFileMenu")->trigger();
        QVERIFY(!form->isVisible());
    }

private:
    QLabel* label(const char* name) const { return window_test::label(*form, name); }
    QLineEdit* edit(const char* name) const { return window_test::edit(*form, name); }
    QScrollBar* bar(const char* name) const { return window_test::bar(*form, name); }

    std::unique_ptr<TMainForm> form;
};

QTEST_MAIN(WindowStartupTest)
#include "window_startup_test.moc"
