#include "window/main_form.h"

#include "extras/disc_image.h"
#include "cpc/save_command.h"
#include "window/color_box.h"
#include "window/picture_view.h"
#include "palette/palette_editing.h"
#include "palette/palette_fit.h"
#include "pcx/open_command.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextCursor>
#include <qdrawutil.h>

#include <filesystem>
#include <string>

namespace {

using varnoke::Byte;

// The window's own size and place on the screen. The controls below are laid out in
// pixels, relative to their parents, inside the area under the menu bar.
constexpr int kWindowLeft = 195;
constexpr int kWindowTop = 54;
constexpr int kClientWidth = 675;
constexpr int kClientHeight = 625;

// The window's font and the colour boxes' smaller one. DejaVu Sans Condensed at these
// pixel sizes keeps every caption inside its label's width.
constexpr const char* kFontFamily = "DejaVu Sans Condensed";
constexpr int kWindowFontPixels = 11;
constexpr int kBoxFontPixels = 9;

// Colour boxes: box k of a row at left 7 + 16 k, top 16, 15 × 17.
constexpr int kBoxLeft = 7;
constexpr int kBoxPitch = 16;
constexpr int kBoxTop = 16;
constexpr int kBoxWidth = 15;
constexpr int kBoxHeight = 17;

const QColor kLogText(0x80, 0x00, 0x00);  // maroon

// Group boxes draw their caption on the frame's top line, so that the frame begins
// half a caption down and the controls placed from top 13 or 16 lie inside it.
class GroupBoxStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
        if (control != CC_GroupBox) return rect;
        const int captionHeight = option->fontMetrics.height();
        if (part == SC_GroupBoxLabel) rect.moveTo(6, 0);
        if (part == SC_GroupBoxFrame) rect.setTop(captionHeight / 2);
        return rect;
    }

    // An etched line, interrupted by the caption.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_FrameGroupBox) {
            painter->save();
            if (const auto* group = qobject_cast<const QGroupBox*>(widget); group && !group->title().isEmpty()) {
                const QFontMetrics& metrics = option->fontMetrics;
                const QRect caption(4, 0, metrics.horizontalAdvance(group->title()) + 6, metrics.height());
                painter->setClipRegion(QRegion(group->rect()) - QRegion(caption), Qt::IntersectClip);
            }
            qDrawShadeRect(painter, option->rect, option->palette, true, 1, 0, nullptr);
            painter->restore();
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

const QStringList kOpenFilters{QStringLiteral("Fichiers .pcx 160*200 pixels 256 couleurs indexées (*.pcx)"),
                               QStringLiteral("Tous les fichiers (*.*)")};
const QStringList kSaveFilters{QStringLiteral("Fichiers .scr Images cpc mode 0, 1 ou 2 (*.scr) ")};
const QStringList kDiscFilters{QStringLiteral("Images disque CPC (*.dsk *.DSK)")};

// The name the files on a disc take when no picture has been opened; the save is
// refused then anyway.
constexpr const char* kUnnamedPicture = "picture";

QColor toQColor(varnoke::Rgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

varnoke::Rgb toRgb(const QColor& color) {
    return {static_cast<Byte>(color.red()), static_cast<Byte>(color.green()), static_cast<Byte>(color.blue())};
}

// The file system's own bytes for a path the user chose.
std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::optional<QString> runFileDialog(QFileDialog* dialog) {
    if (dialog->exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.first();
}

template <typename Widget>
Widget* place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

}  // namespace

TMainForm::TMainForm(varnoke::ScreenLayout layout, QWidget* parent)
    : QMainWindow(parent),
      layout_(layout),
      log_([this](std::string_view line) { DEBUG(line); }) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Varnoke PCX"));
    QFont windowFont(QString::fromLatin1(kFontFamily));
    windowFont.setPixelSize(kWindowFontPixels);
    setFont(windowFont);

    buildControls();
    buildMenus();
    buildDialogs();
    move(kWindowLeft, kWindowTop);
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());

    chooseFileToOpen_ = [this] { return runFileDialog(OpenPicture); };
    chooseFileToSave_ = [this] { return runFileDialog(SavePicture); };
    chooseDiscImage_ = [this] { return runFileDialog(SaveDisc); };

    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(client);

    // The settings group first: it comes before the picture in the tab order.
    GBMode = place(new QGroupBox(QStringLiteral("Reglages"), client), "GBMode", 0, 416, 641, 185);

    Debug = place(new QPlainTextEdit(GBMode), "Debug", 8, 16, 625, 41);
    Debug->setReadOnly(true);
    Debug->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Debug->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette logColors = Debug->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        logColors.setColor(group, QPalette::Base, Qt::white);
        logColors.setColor(group, QPalette::Text, kLogText);
    }
    Debug->setPalette(logColors);

    Label1 = place(new QLabel(QStringLiteral("Mode:"), GBMode), "Label1", 16, 66, 30, 13);
    LabelMode = place(new QLabel(QStringLiteral("0"), GBMode), "LabelMode", 53, 66, 19, 17);
    LabelMode->setAlignment(Qt::AlignCenter);
    LabelMode->setAutoFillBackground(true);
    QPalette modeColors = LabelMode->palette();
    modeColors.setColor(QPalette::Window, Qt::white);
    LabelMode->setPalette(modeColors);

    auto makeBar = [this](const char* name, int top, int position) {
        auto* bar = place(new QScrollBar(Qt::Horizontal, GBMode), name, 45, top, 18, 15);
        bar->setRange(varnoke::kThresholdMin, varnoke::kThresholdMax);
        bar->setSingleStep(1);
        bar->setPageStep(0);
        bar->setValue(position);
        bar->setFocusPolicy(Qt::TabFocus);
        return bar;
    };
    auto makeEdit = [this](const char* name, int top, int position) {
        auto* edit = place(new QLineEdit(QString::number(position), GBMode), name, 64, top, 25, 21);
        edit->setEnabled(false);
        return edit;
    };
    LblLow = place(new QLabel(QStringLiteral("Low :"), GBMode), "LblLow", 16, 90, 26, 13);
    TSLow = makeBar("TSLow", 90, state_.thresholdLow);
    TELow = makeEdit("TELow", 90, state_.thresholdLow);
    LblHigh = place(new QLabel(QStringLiteral("High : "), GBMode), "LblHigh", 16, 111, 31, 13);
    TSHigh = makeBar("TSHigh", 114, state_.thresholdHigh);
    TEHigh = makeEdit("TEHigh", 114, state_.thresholdHigh);
    connect(TSLow, &QScrollBar::valueChanged, this, &TMainForm::TSLowChange);
    connect(TSHigh, &QScrollBar::valueChanged, this, &TMainForm::TSHighChange);

    GB_Couleurs_CPC =
        place(new QGroupBox(QStringLiteral("Couleurs Hard CPC"), GBMode), "GB_Couleurs_CPC", 192, 57, 441, 40);
    GBEncres = place(new QGroupBox(QStringLiteral("Palette de l'image"), GBMode), "GBEncres", 192, 102, 441, 40);

    QFont boxFont(QString::fromLatin1(kFontFamily));
    boxFont.setPixelSize(kBoxFontPixels);
    auto makeBox = [&boxFont](QGroupBox* row, const QString& prefix, int k) {
        auto* box = new varnoke::ColorBox(k, row);
        box->setObjectName(prefix + QString::number(k));
        box->setGeometry(kBoxLeft + kBoxPitch * k, kBoxTop, kBoxWidth, kBoxHeight);
        box->setFont(boxFont);
        return box;
    };
    for (int k = 0; k < varnoke::kCpcColorCount; ++k) {
        auto* box = makeBox(GB_Couleurs_CPC, QStringLiteral("CPC_color"), k);
        box->setText(QString::number(k));
        connect(box, &varnoke::ColorBox::clicked, this, &TMainForm::ChangeColorHard);
        cpcColorBoxes_[static_cast<std::size_t>(k)] = box;
    }
    for (int k = 0; k < varnoke::kPenCount; ++k) {
        auto* box = makeBox(GBEncres, QStringLiteral("Ink"), k);
        connect(box, &varnoke::ColorBox::clicked, this, &TMainForm::ChangeColorPalette);
        inkBoxes_[static_cast<std::size_t>(k)] = box;
    }

    GBImage = place(new QGroupBox(QStringLiteral("Image"), client), "GBImage", 0, 0, 657, 417);
    Image = place(new varnoke::PictureView(area_, GBImage), "Image", 7, 13, varnoke::kPictureAreaWidth,
                  varnoke::kPictureAreaHeight);
    GBImage->lower();

    // The style is a child of the window made after the group boxes, so it outlives them.
    auto* groupBoxStyle = new GroupBoxStyle;
    groupBoxStyle->setParent(this);
    for (QGroupBox* group : {GBMode, GB_Couleurs_CPC, GBEncres, GBImage}) group->setStyle(groupBoxStyle);

    // Tab order: the log, Low bar, both edits, High bar, the Ink row, the CPC row.
    QList<QWidget*> order{Debug, TSLow, TELow, TEHigh, TSHigh};
    for (auto* box : inkBoxes_) order.append(box);
    for (auto* box : cpcColorBoxes_) order.append(box);
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TMainForm::buildMenus() {
    FileMenu = menuBar()->addMenu(QStringLiteral("File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    OpenFileMenu = FileMenu->addAction(QStringLiteral("Open File ..."), this, &TMainForm::OpenFileMenuClick);
    OpenFileMenu->setObjectName(QStringLiteral("OpenFileMenu"));
    SaveFileMenu = FileMenu->addAction(QStringLiteral("Save File ..."), this, &TMainForm::SaveFileMenuClick);
    SaveFileMenu->setObjectName(QStringLiteral("SaveFileMenu"));
    SaveDiscMenu = FileMenu->addAction(QStringLiteral("Save to disc image ..."), this, &TMainForm::SaveDiscMenuClick);
    SaveDiscMenu->setObjectName(QStringLiteral("SaveDiscMenu"));
    ExitFileMenu = FileMenu->addAction(QStringLiteral("Exit"), this, &TMainForm::ExitFileMenuClick);
    ExitFileMenu->setObjectName(QStringLiteral("ExitFileMenu"));

    // "About" and "Edit" stay disabled for good: only the File menu is for the user.
    AboutMenu = menuBar()->addMenu(QStringLiteral("About"));
    AboutMenu->setObjectName(QStringLiteral("AboutMenu"));
    AboutMenu->setEnabled(false);
    AboutMenu->menuAction()->setEnabled(false);

    EditMenu = menuBar()->addMenu(QStringLiteral("Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    DecodeAmsdosEditMenu = EditMenu->addAction(QStringLiteral("Decode Amsdos"));
    DecodeAmsdosEditMenu->setObjectName(QStringLiteral("DecodeAmsdosEditMenu"));
    // Decoding is part of the Open command: there is no separate decode to run.
    DecodePCXEditMenu = EditMenu->addAction(QStringLiteral("Decode PCX"));
    DecodePCXEditMenu->setObjectName(QStringLiteral("DecodePCXEditMenu"));
    Afficheimage1 = EditMenu->addAction(QStringLiteral("Affiche image"), this, &TMainForm::AfficheImage);
    Afficheimage1->setObjectName(QStringLiteral("Afficheimage1"));
    EditMenu->setEnabled(false);
    EditMenu->menuAction()->setEnabled(false);

    PaletteMenu = menuBar()->addMenu(QStringLiteral("Palette"));
    PaletteMenu->setObjectName(QStringLiteral("PaletteMenu"));
    FitPaletteMenu = PaletteMenu->addAction(QStringLiteral("Fit Palette"), this, &TMainForm::FitPaletteMenuClick);
    FitPaletteMenu->setObjectName(QStringLiteral("FitPaletteMenu"));
    FitPaletteMenu->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
}

void TMainForm::buildDialogs() {
    OpenPicture = new QFileDialog(this, QStringLiteral("Selection Fichier"));
    OpenPicture->setObjectName(QStringLiteral("OpenPicture"));
    OpenPicture->setAcceptMode(QFileDialog::AcceptOpen);
    OpenPicture->setFileMode(QFileDialog::ExistingFile);
    OpenPicture->setNameFilters(kOpenFilters);
    OpenPicture->setDefaultSuffix(QStringLiteral("pcx"));

    // The save dialog keeps the system's own title. Both files are replaced without a
    // question, as the Save command always does.
    SavePicture = new QFileDialog(this);
    SavePicture->setObjectName(QStringLiteral("SavePicture"));
    SavePicture->setAcceptMode(QFileDialog::AcceptSave);
    SavePicture->setFileMode(QFileDialog::AnyFile);
    SavePicture->setNameFilters(kSaveFilters);
    SavePicture->setOption(QFileDialog::DontConfirmOverwrite);

    // The files are added to a disc image that already exists, not put in its place,
    // so choosing one asks no question either.
    SaveDisc = new QFileDialog(this);
    SaveDisc->setObjectName(QStringLiteral("SaveDisc"));
    SaveDisc->setAcceptMode(QFileDialog::AcceptSave);
    SaveDisc->setFileMode(QFileDialog::AnyFile);
    SaveDisc->setNameFilters(kDiscFilters);
    SaveDisc->setDefaultSuffix(QStringLiteral("dsk"));
    SaveDisc->setOption(QFileDialog::DontConfirmOverwrite);
}

void TMainForm::FormCreate() {
    // The state already holds the colour model, the identity substitution, 27 empty
    // pens and pen 0 selected; the boxes show it. No box looks selected yet.
    for (std::size_t n = 0; n < cpcColorBoxes_.size(); ++n) cpcColorBoxes_[n]->setColor(toQColor(state_.cpcColorBoxes[n]));
    refreshInkBoxes();
    TELow->setInputMask(QStringLiteral("09"));  // one optional digit, then one digit
    TEHigh->setInputMask(QStringLiteral("09"));
    TELow->setText(QString::number(state_.thresholdLow));
    TEHigh->setText(QString::number(state_.thresholdHigh));
    blankPicture();
}

void TMainForm::DEBUG(std::string_view line) {
    // The pane starts with one empty line; every message goes on a line of its own
    // after it, and the pane follows the newest line.
    QTextCursor cursor(Debug->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    cursor.insertText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    QScrollBar* bar = Debug->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TMainForm::OpenFileMenuClick() {
    const std::optional<QString> path = chooseFileToOpen_ ? chooseFileToOpen_() : std::nullopt;
    if (!path || path->isEmpty()) return;
    openPicture(*path);
}

void TMainForm::openPicture(const QString& path) {
    const varnoke::OpenOutcome outcome =
        varnoke::openPictureFile(state_, std::filesystem::path(nativePath(path)), path.toStdString(), log_);
    // A rejected file changes nothing in the state, so the window keeps showing the
    // picture that is still loaded, with its mode.
    if (!outcome.accepted) return;
    picturePath_ = path;
    enableThresholdControls();
    blankPicture();
    refreshFromState();
    AfficheImage();
}

void TMainForm::SaveFileMenuClick() {
    const std::optional<QString> path = chooseFileToSave_ ? chooseFileToSave_() : std::nullopt;
    if (!path || path->isEmpty()) return;
    savePicture(*path);
}

void TMainForm::savePicture(const QString& path) {
    // The core checks the palette, refuses when it must, writes both files and logs
    // every step; the window shows nothing else.
    varnoke::saveFiles(state_, layout_, nativePath(path), log_);
}

void TMainForm::SaveDiscMenuClick() {
    const std::optional<QString> path = chooseDiscImage_ ? chooseDiscImage_() : std::nullopt;
    if (!path || path->isEmpty()) return;
    saveToDisc(*path);
}

void TMainForm::saveToDisc(const QString& discPath) {
    // "/pictures/sunset-mode0.pcx" puts SUNSET-M.SCR and SUNSET-M.PAL on the disc.
    const QString outputName =
        picturePath_.isEmpty() ? QString::fromLatin1(kUnnamedPicture) : QFileInfo(picturePath_).completeBaseName();
    varnoke::saveToDiscImage(state_, layout_, outputName.toStdString(), std::filesystem::path(nativePath(discPath)),
                             log_);
}

void TMainForm::ExitFileMenuClick() { close(); }

void TMainForm::TSLowChange(int position) {
    varnoke::moveLowThreshold(state_, position, log_);
    refreshThresholds();
    refreshInkBoxes();
    AfficheImage();
}

void TMainForm::TSHighChange(int position) {
    varnoke::moveHighThreshold(state_, position, log_);
    refreshThresholds();
    refreshInkBoxes();
    AfficheImage();
}

void TMainForm::ChangeColorPalette(int pen) {
    if (pen < 0 || pen >= varnoke::kPenCount) return;
    inkBoxes_[state_.selectedPen]->setThreeD(false);
    varnoke::selectPen(state_, static_cast<Byte>(pen));
    inkBoxes_[state_.selectedPen]->setThreeD(true);
}

void TMainForm::ChangeColorHard(int cpcColor) {
    if (cpcColor < 0 || cpcColor >= varnoke::kCpcColorCount) return;
    // Nothing changes (one log line says why) when the selected pen holds no colour.
    if (!varnoke::substituteColor(state_, static_cast<Byte>(cpcColor), log_)) return;
    refreshInkBoxes();
    AfficheImage();
}

void TMainForm::FitPaletteMenuClick() {
    // Nothing is redrawn when every pen already shows a colour of the mode.
    if (varnoke::fitPalette(state_, log_).empty()) return;
    refreshInkBoxes();
    AfficheImage();
}

void TMainForm::AfficheImage() {
    varnoke::drawPicture(state_, area_, log_);
    Image->update();
}

void TMainForm::enableThresholdControls() {
    for (QWidget* control : {static_cast<QWidget*>(LblLow), static_cast<QWidget*>(LblHigh),
                             static_cast<QWidget*>(TSLow), static_cast<QWidget*>(TSHigh),
                             static_cast<QWidget*>(TELow), static_cast<QWidget*>(TEHigh)})
        control->setEnabled(true);
}

void TMainForm::blankPicture() {
    varnoke::blankPictureArea(area_, toRgb(palette().color(QPalette::Button)));
    Image->update();
}

void TMainForm::refreshFromState() {
    LabelMode->setText(QString::number(state_.cpcMode));
    refreshThresholds();
    refreshInkBoxes();
}

void TMainForm::refreshThresholds() {
    // Setting a bar must not run its change handler again: one user action, one
    // rebuild and one set of log lines.
    const QSignalBlocker blockLow(TSLow);
    const QSignalBlocker blockHigh(TSHigh);
    TSLow->setValue(state_.thresholdLow);
    TSHigh->setValue(state_.thresholdHigh);
    TELow->setText(QString::number(state_.thresholdLow));
    TEHigh->setText(QString::number(state_.thresholdHigh));
}

void TMainForm::refreshInkBoxes() {
    for (std::size_t pen = 0; pen < inkBoxes_.size(); ++pen) {
        const varnoke::PenBox& shown = state_.inkBoxes[pen].box;
        inkBoxes_[pen]->setColor(toQColor(shown.background));
        inkBoxes_[pen]->setText(QString::fromStdString(shown.text));
    }
}
