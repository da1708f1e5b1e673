#include "window/main_form.h"

#include "extras/disc_image.h"
#include "extras/disc_name.h"
#include "import/import_session.h"
#include "import/picture_decoding.h"
#include "main/cpc_colors.h"
#include "palette/palette_editing.h"
#include "palette/palette_fit.h"
#include "pcx/open_command.h"
#include "window/color_box.h"
#include "window/import_dialog.h"
#include "window/picture_view.h"
#include "window/threshold_bar.h"
#include "window/window_parts.h"
#include "workflow/picture_road.h"
#include "workflow/saving.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using varnoke::askDiscName;
using varnoke::Byte;
using varnoke::cpcColourTip;
using varnoke::GroupBoxStyle;
using varnoke::kEditTip;
using varnoke::kHighBarTip;
using varnoke::kLowBarTip;
using varnoke::penTip;

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

const QStringList kOpenFilters{QStringLiteral("Fichiers .pcx 160*200 pixels 256 couleurs indexées (*.pcx)"),
                               QStringLiteral("Tous les fichiers (*.*)")};
const QStringList kSaveFilters{QStringLiteral("Fichiers .scr Images cpc mode 0, 1 ou 2 (*.scr) ")};
const QStringList kDiscFilters{QStringLiteral("Images disque CPC (*.dsk *.DSK)")};
const QStringList kImportFilters{QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.pcx *.PNG *.JPG "
                                                "*.JPEG *.GIF *.BMP *.WEBP *.PCX)"),
                                 QStringLiteral("All files (*)")};

// The name the files on a disc take when no picture has been opened; the save is
// refused then anyway.
constexpr const char* kUnnamedPicture = "picture";

const QString kProgramTitle = QStringLiteral("Varnoke PCX");

const QString kOcpPaletteTip = QStringLiteral("Save the picture's mode in the palette file, for OCP palette readers");

// What the user can do when there is nothing to save.
const QString kNothingToSave = QStringLiteral(
    "There is no picture to save yet. Open a 256-colour PCX picture with File > Open File ..., "
    "or import any picture (PNG, JPEG, GIF, BMP, WebP, PCX) with File > Import Picture ...");

QColor toQColor(varnoke::Rgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

varnoke::Rgb toRgb(const QColor& color) {
    return {static_cast<Byte>(color.red()), static_cast<Byte>(color.green()), static_cast<Byte>(color.blue())};
}

// The file system's own bytes for a path the user chose.
std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// How far the threshold bars widen in a wider window: up to the colour rows.
constexpr int kMostBarWidening = 96;

// The file dialogs' size: room for the name, size, type and date columns.
constexpr int kDialogWidth = 880;
constexpr int kDialogHeight = 520;

// The area under the menu bar; tells the window when its size changes.
class ClientArea : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void(QSize)> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (onResize) onResize(size());
    }
};

QHash<QWidget*, QRect> firstGeometries(std::initializer_list<QWidget*> widgets) {
    QHash<QWidget*, QRect> geometries;
    for (QWidget* widget : widgets) geometries.insert(widget, widget->geometry());
    return geometries;
}

void scrollLogToEnd(QPlainTextEdit* log) {
    QScrollBar* bar = log->verticalScrollBar();
    bar->setValue(bar->maximum());
}

std::optional<QString> runFileDialog(QFileDialog* dialog, const QString& folder, const QString& proposal = {}) {
    if (!folder.isEmpty()) dialog->setDirectory(folder);
    if (!proposal.isEmpty()) dialog->selectFile(proposal);
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
    : QMainWindow(parent), layout_(layout), log_([this](std::string_view line) { DEBUG(line); }) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(kProgramTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/varnoke-pcx.png")));
    QFont windowFont(QString::fromLatin1(kFontFamily));
    windowFont.setPixelSize(kWindowFontPixels);
    setFont(windowFont);
    setAcceptDrops(true);

    buildControls();
    buildMenus();
    buildDialogs();
    move(kWindowLeft, kWindowTop);
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());

    chooseFileToOpen_ = [this] { return runFileDialog(OpenPicture, settings_.lastFolder()); };
    chooseFileToSave_ = [this] { return runFileDialog(SavePicture, settings_.lastSaveFolder(), proposedSaveName()); };
    chooseDiscImage_ = [this] { return runFileDialog(SaveDisc, settings_.lastFolder()); };
    chooseFileToImport_ = [this] { return runFileDialog(ImportPicture, settings_.lastFolder()); };
    runImport_ = [](varnoke::ImportDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    chooseDiscName_ = [this](const QString& proposal) { return askDiscName(this, proposal, linePicture_ != nullptr); };
    askToReplace_ = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Save to disc image"), question,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    askToImport_ = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Open File"), question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    tell_ = [this](const QString& title, const QString& text) { QMessageBox::warning(this, title, text); };

    FormCreate();
}

TMainForm::~TMainForm() = default;

QSize TMainForm::firstClientSize() { return {kClientWidth, kClientHeight}; }

void TMainForm::buildControls() {
    auto* client = new ClientArea(this);
    client->setObjectName(QStringLiteral("Client"));
    // The window never gets smaller than it opens; larger, the controls follow.
    client->setMinimumSize(kClientWidth, kClientHeight);
    client->onResize = [this](QSize size) { placeControls(size); };
    setCentralWidget(client);

    // The settings group first: it comes before the picture in the tab order.
    GBMode = place(new QGroupBox(QStringLiteral("Reglages"), client), "GBMode", 0, 416, 641, 185);
    buildLogPane();
    buildThresholdControls();
    buildColourRows();
    buildPictureArea();

    // The style is a child of the window made after the group boxes, so it outlives them.
    auto* groupBoxStyle = new GroupBoxStyle;
    groupBoxStyle->setParent(this);
    for (QGroupBox* group : {GBMode, GB_Couleurs_CPC, GBEncres, GBImage}) group->setStyle(groupBoxStyle);
    chainTabOrder();
    firstGeometry_ = firstGeometries({GBImage, Image, GBMode, Debug, Label1, LabelMode, LblLow, TSLow, TELow, LblHigh,
                                      TSHigh, TEHigh, GB_Couleurs_CPC, GBEncres});
}

void TMainForm::buildLogPane() {
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
}

void TMainForm::buildThresholdControls() {
    auto makeBar = [this](const char* name, int top, int position, const QString& tip) {
        auto* bar = place(new varnoke::ThresholdBar(GBMode), name, 45, top, 18, 15);
        bar->setValue(position);
        bar->setToolTip(tip);
        return bar;
    };
    auto makeEdit = [this](const char* name, int top, int position, const QString& tip) {
        auto* edit = place(new QLineEdit(QString::number(position), GBMode), name, 64, top, 25, 21);
        edit->setEnabled(false);
        edit->setToolTip(tip);
        return edit;
    };
    LblLow = place(new QLabel(QStringLiteral("Low :"), GBMode), "LblLow", 16, 90, 26, 13);
    TSLow = makeBar("TSLow", 90, state_.thresholdLow, kLowBarTip);
    TELow = makeEdit("TELow", 90, state_.thresholdLow, kEditTip);
    LblHigh = place(new QLabel(QStringLiteral("High : "), GBMode), "LblHigh", 16, 111, 31, 13);
    TSHigh = makeBar("TSHigh", 114, state_.thresholdHigh, kHighBarTip);
    TEHigh = makeEdit("TEHigh", 114, state_.thresholdHigh, kEditTip);
    connect(TSLow, &QScrollBar::valueChanged, this, &TMainForm::TSLowChange);
    connect(TSHigh, &QScrollBar::valueChanged, this, &TMainForm::TSHighChange);
    // A number typed into a box counts once Return confirms it, one digit or two (the
    // mask's own check would want two); leaving the box puts back the value in effect.
    TELow->installEventFilter(this);
    TEHigh->installEventFilter(this);
}

void TMainForm::buildColourRows() {
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
        box->setToolTip(cpcColourTip(k));
        connect(box, &varnoke::ColorBox::clicked, this, &TMainForm::ChangeColorHard);
        cpcColorBoxes_[static_cast<std::size_t>(k)] = box;
    }
    for (int k = 0; k < varnoke::kPenCount; ++k) {
        auto* box = makeBox(GBEncres, QStringLiteral("Ink"), k);
        connect(box, &varnoke::ColorBox::clicked, this, &TMainForm::ChangeColorPalette);
        inkBoxes_[static_cast<std::size_t>(k)] = box;
    }
}

void TMainForm::buildPictureArea() {
    GBImage = place(new QGroupBox(QStringLiteral("Image"), centralWidget()), "GBImage", 0, 0, 657, 417);
    Image = place(new varnoke::PictureView(area_, GBImage), "Image", 7, 13, varnoke::kPictureAreaWidth,
                  varnoke::kPictureAreaHeight);
    GBImage->lower();
}

void TMainForm::chainTabOrder() {
    // The log, Low bar, both edits, High bar, the Ink row, the CPC row.
    QList<QWidget*> order{Debug, TSLow, TELow, TEHigh, TSHigh};
    for (auto* box : inkBoxes_) order.append(box);
    for (auto* box : cpcColorBoxes_) order.append(box);
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TMainForm::placeControls(QSize clientSize) {
    if (firstGeometry_.isEmpty()) return;
    // Room beyond the first size: the picture takes three quarters of the height and
    // all of the width; the log pane the rest of the height. The bars widen, up to the
    // colour rows, which keep to the right edge.
    const int wider = std::max(0, clientSize.width() - kClientWidth);
    const int taller = std::max(0, clientSize.height() - kClientHeight);
    const int logTaller = taller / 4;
    const int pictureTaller = taller - logTaller;
    const int barWider = std::min(wider, kMostBarWidening);
    auto set = [this](QWidget* widget, int dx, int dy, int dw, int dh) {
        widget->setGeometry(firstGeometry_.value(widget).adjusted(dx, dy, dx + dw, dy + dh));
    };
    set(GBImage, 0, 0, wider, pictureTaller);
    set(Image, 0, 0, wider, pictureTaller);
    set(GBMode, 0, pictureTaller, wider, logTaller);
    set(Debug, 0, 0, wider, logTaller);
    for (QWidget* widget : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(LabelMode),
                            static_cast<QWidget*>(LblLow), static_cast<QWidget*>(LblHigh)})
        set(widget, 0, logTaller, 0, 0);
    set(TSLow, 0, logTaller, barWider, 0);
    set(TSHigh, 0, logTaller, barWider, 0);
    set(TELow, barWider, logTaller, 0, 0);
    set(TEHigh, barWider, logTaller, 0, 0);
    set(GB_Couleurs_CPC, wider, logTaller, 0, 0);
    set(GBEncres, wider, logTaller, 0, 0);
    scrollLogToEnd(Debug);
}

void TMainForm::buildMenus() {
    buildFileMenu();

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
    ResetColoursMenu = PaletteMenu->addAction(QStringLiteral("Reset Colours"), this, &TMainForm::ResetColoursMenuClick);
    ResetColoursMenu->setObjectName(QStringLiteral("ResetColoursMenu"));
    OcpPaletteMenu = PaletteMenu->addAction(QStringLiteral("OCP palette"));
    OcpPaletteMenu->setObjectName(QStringLiteral("OcpPaletteMenu"));
    OcpPaletteMenu->setCheckable(true);
    OcpPaletteMenu->setToolTip(kOcpPaletteTip);
    // Also the tooltips that say why an item is disabled.
    PaletteMenu->setToolTipsVisible(true);
}

void TMainForm::buildFileMenu() {
    // Alt+F opens the menu.
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    auto addItem = [this](const char* text, const char* name, auto handler, const QKeySequence& shortcut) {
        QAction* item = FileMenu->addAction(QString::fromLatin1(text), this, handler);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(shortcut);
        return item;
    };
    OpenFileMenu =
        addItem("Open File ...", "OpenFileMenu", &TMainForm::OpenFileMenuClick, QKeySequence(Qt::CTRL | Qt::Key_O));
    ImportMenu =
        addItem("Import Picture ...", "ImportMenu", &TMainForm::ImportMenuClick, QKeySequence(Qt::CTRL | Qt::Key_I));
    SaveFileMenu =
        addItem("Save File ...", "SaveFileMenu", &TMainForm::SaveFileMenuClick, QKeySequence(Qt::CTRL | Qt::Key_S));
    SaveDiscMenu = addItem("Save to disc image ...", "SaveDiscMenu", &TMainForm::SaveDiscMenuClick, QKeySequence());
    ExitFileMenu = addItem("Exit", "ExitFileMenu", &TMainForm::ExitFileMenuClick, QKeySequence(Qt::CTRL | Qt::Key_Q));
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
    // so choosing one asks no question either (replacing a file on it does).
    SaveDisc = new QFileDialog(this);
    SaveDisc->setObjectName(QStringLiteral("SaveDisc"));
    SaveDisc->setAcceptMode(QFileDialog::AcceptSave);
    SaveDisc->setFileMode(QFileDialog::AnyFile);
    SaveDisc->setNameFilters(kDiscFilters);
    SaveDisc->setDefaultSuffix(QStringLiteral("dsk"));
    SaveDisc->setOption(QFileDialog::DontConfirmOverwrite);

    ImportPicture = new QFileDialog(this, QStringLiteral("Import Picture"));
    ImportPicture->setObjectName(QStringLiteral("ImportPicture"));
    ImportPicture->setAcceptMode(QFileDialog::AcceptOpen);
    ImportPicture->setFileMode(QFileDialog::ExistingFile);
    ImportPicture->setNameFilters(kImportFilters);

    // Wide enough for the name, size, type and date columns.
    for (QFileDialog* dialog : {OpenPicture, SavePicture, SaveDisc, ImportPicture})
        dialog->resize(kDialogWidth, kDialogHeight);
}

void TMainForm::FormCreate() {
    // The state already holds the colour model, the identity substitution, 27 empty
    // pens and pen 0 selected; the boxes show it. No box looks selected yet.
    for (std::size_t n = 0; n < cpcColorBoxes_.size(); ++n)
        cpcColorBoxes_[n]->setColor(toQColor(state_.cpcColorBoxes[n]));
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
    scrollLogToEnd(Debug);
}

std::optional<QString> TMainForm::choose(const FileChooser& chooser) {
    std::optional<QString> path = chooser ? chooser() : std::nullopt;
    if (!path || path->isEmpty()) return std::nullopt;
    settings_.rememberFolderOf(*path);
    return path;
}

void TMainForm::OpenFileMenuClick() {
    if (const std::optional<QString> path = choose(chooseFileToOpen_)) openPicture(*path);
}

void TMainForm::openPicture(const QString& path) {
    const varnoke::Expected<void> opened =
        varnoke::openPictureFile(state_, std::filesystem::path(nativePath(path)), path.toStdString(), log_);
    // A rejected file changes nothing in the state, so the window keeps showing the
    // picture that is still loaded, with its mode.
    if (!opened) {
        refuseOpen(path, opened.failure());
        return;
    }
    linePicture_.reset();
    showNewPicture(path);
}

void TMainForm::refuseOpen(const QString& path, const varnoke::Failure& failure) {
    const QString file = QFileInfo(path).fileName();
    const QString reason = QString::fromStdString(failure.reason);
    if (failure.kind == varnoke::FailureKind::WrongFormat) {
        // Open takes 256-colour PCX pictures of the CPC's sizes only; any other picture
        // that the import reads is offered to it.
        const varnoke::Expected<std::vector<Byte>> bytes = varnoke::readPictureFile(nativePath(path));
        const std::optional<std::string> kind =
            bytes ? varnoke::pictureKindName(bytes.value()) : std::optional<std::string>();
        if (kind) {
            if (askToImport_ &&
                askToImport_(QStringLiteral("%1 is a %2 picture, which Open does not take: Open takes 256-colour PCX "
                                            "pictures of 160, 320 or 640 x 200 pixels.\n\nImport %1 instead? The "
                                            "import puts any picture on the CPC's screen.")
                                 .arg(file, QString::fromStdString(*kind))))
                importPicture(path);
            return;
        }
    }
    tellRefusal(
        QStringLiteral("Open File"),
        QStringLiteral("%1 was not opened: %2.%3")
            .arg(file, reason,
                 state_.pixelData.empty() ? QString() : QStringLiteral(" The picture already loaded is kept.")));
}

void TMainForm::tellRefusal(const QString& title, const QString& text) {
    if (tell_) tell_(title, text);
}

void TMainForm::showNewPicture(const QString& path) {
    picturePath_ = path;
    setWindowTitle(QStringLiteral("%1 - %2").arg(QFileInfo(path).fileName(), kProgramTitle));
    enablePictureControls();
    blankPicture();
    refreshFromState();
    AfficheImage();
}

void TMainForm::openGivenFile(const QString& path) {
    const varnoke::Expected<std::vector<Byte>> file = varnoke::readPictureFile(nativePath(path));
    if (file && varnoke::roadOf(file.value()) == varnoke::PictureRoad::Open)
        openPicture(path);
    else
        importPicture(path);
}

void TMainForm::ImportMenuClick() {
    if (const std::optional<QString> path = choose(chooseFileToImport_)) importPicture(*path);
}

void TMainForm::importPicture(const QString& path) {
    const varnoke::Expected<std::vector<Byte>> file = varnoke::readPictureFile(nativePath(path));
    varnoke::Expected<varnoke::ImportSession> session =
        file ? varnoke::startImport(file.value(), path.toStdString(), {}, state_, log_)
             : varnoke::Expected<varnoke::ImportSession>(file.failure());
    if (!file) varnoke::logImportRefused(path.toStdString(), file.reason(), state_, log_);
    if (!session) {
        tellRefusal(
            QStringLiteral("Import Picture"),
            QStringLiteral("%1 was not imported: %2.%3")
                .arg(QFileInfo(path).fileName(), QString::fromStdString(session.reason()),
                     state_.pixelData.empty() ? QString() : QStringLiteral(" The picture already loaded is kept.")));
        return;
    }
    varnoke::ImportDialog dialog(std::make_shared<const varnoke::ImportSession>(std::move(session.value())),
                                 settings_.lastImport(), QFileInfo(path).fileName(), this, layout_);
    if (!runImport_ || !runImport_(dialog)) return;
    const std::optional<varnoke::ImportResult> result = dialog.result();
    if (!result) return;
    settings_.rememberImport(dialog.settings());
    installImport(*result, path);
}

void TMainForm::installImport(const varnoke::ImportResult& result, const QString& path) {
    varnoke::installImportedPicture(state_, result, path.toStdString(), log_);
    linePicture_ = result.linePens.empty() ? nullptr : std::make_unique<const varnoke::ImportResult>(result);
    showNewPicture(path);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    const QString path = urls.first().toLocalFile();
    settings_.rememberFolderOf(path);
    openGivenFile(path);
}

bool TMainForm::somethingToSave() {
    if (!state_.pixelData.empty()) return true;
    tellRefusal(QStringLiteral("Save"), kNothingToSave);
    return false;
}

QString TMainForm::proposedSaveName() const {
    if (picturePath_.isEmpty()) return {};
    return QFileInfo(picturePath_).completeBaseName() + QStringLiteral(".scr");
}

void TMainForm::SaveFileMenuClick() {
    if (!somethingToSave()) return;
    if (const std::optional<QString> path = choose(chooseFileToSave_)) {
        settings_.rememberSaveFolderOf(*path);
        savePicture(*path);
    }
}

void TMainForm::savePicture(const QString& path) {
    // The core checks the palette, refuses when it must, writes both files and logs
    // every step; the window adds what the user can do about a refusal.
    varnoke::SaveRequest request;
    request.output = nativePath(path);
    request.layout = layout_;
    request.paletteModeByte = paletteModeByte();
    if (linePicture_) {
        const varnoke::Expected<void> saved = varnoke::saveLinePenPicture(*linePicture_, request, log_);
        if (!saved) reportRefusal(QStringLiteral("Save"), QFileInfo(path).fileName(), saved.failure());
        return;
    }
    const varnoke::Expected<varnoke::SavedFiles> saved = varnoke::saveWithExtras(state_, request, log_);
    if (!saved) reportRefusal(QStringLiteral("Save"), QFileInfo(path).fileName(), saved.failure());
}

// Readers of the OCP palette format take the palette block's first byte for the mode.
varnoke::PaletteModeByte TMainForm::paletteModeByte() const {
    return OcpPaletteMenu->isChecked() ? varnoke::PaletteModeByte::PictureMode : varnoke::PaletteModeByte::Zero;
}

void TMainForm::reportRefusal(const QString& title, const QString& target, const varnoke::Failure& failure) {
    const std::optional<varnoke::PaletteProblem> problem =
        failure.kind == varnoke::FailureKind::PaletteRefused ? varnoke::paletteProblem(state_) : std::nullopt;
    if (!problem) {
        tellRefusal(title,
                    QStringLiteral("Nothing was saved to %1: %2.").arg(target, QString::fromStdString(failure.reason)));
        return;
    }
    const QString advice =
        QStringLiteral(
            "Pen %1 shows CPC colour %2, which none of pens 0 to %3 shows: use Palette > Fit Palette or "
            "pick a colour (click Ink box %1, then a CPC colour that pens 0 to %3 show)")
            .arg(problem->pen)
            .arg(problem->shownColor)
            .arg(problem->modePens - 1);
    DEBUG(advice.toStdString());
    tellRefusal(title, QStringLiteral("Nothing was saved to %1: the picture needs more colours than mode %2 has "
                                      "pens.\n\n%3.")
                           .arg(target)
                           .arg(state_.cpcMode)
                           .arg(advice));
}

void TMainForm::SaveDiscMenuClick() {
    if (!somethingToSave()) return;
    if (const std::optional<QString> path = choose(chooseDiscImage_)) saveToDisc(*path);
}

void TMainForm::saveToDisc(const QString& discPath) {
    const std::string disc = nativePath(discPath);
    const QString discFile = QFileInfo(discPath).fileName();
    // A save that would be refused asks for no name: the refusal is logged at once.
    if (!linePicture_ && !varnoke::checkBeforeSaving(state_, varnoke::Log())) {
        const varnoke::Expected<varnoke::SavedFiles> refused =
            varnoke::saveOnDisc(state_, layout_, kUnnamedPicture, disc, log_, paletteModeByte());
        if (!refused) reportRefusal(QStringLiteral("Save to disc image"), discFile, refused.failure());
        return;
    }
    const QString proposal =
        QString::fromStdString(varnoke::proposeDiscName(QFileInfo(picturePath_).fileName().toStdString()));
    const std::optional<QString> name = chooseDiscName_ ? chooseDiscName_(proposal) : std::optional<QString>(proposal);
    if (!name || !varnoke::isDiscName(name->toStdString())) return;
    if (!confirmReplacing(discPath, *name)) return;
    if (linePicture_) {
        const varnoke::Expected<void> saved =
            varnoke::saveLinePenPictureOnDisc(*linePicture_, name->toStdString(), disc, log_);
        if (!saved) reportRefusal(QStringLiteral("Save to disc image"), discFile, saved.failure());
        return;
    }
    const varnoke::Expected<varnoke::SavedFiles> saved =
        varnoke::saveOnDisc(state_, layout_, name->toStdString(), disc, log_, paletteModeByte());
    if (!saved) reportRefusal(QStringLiteral("Save to disc image"), discFile, saved.failure());
}

bool TMainForm::confirmReplacing(const QString& discPath, const QString& name) {
    if (!QFileInfo::exists(discPath)) return true;
    // A file that is no disc image is refused by the save itself, with its reason.
    const varnoke::Expected<std::vector<std::string>> onDisc = varnoke::filesOnDisc(nativePath(discPath));
    if (!onDisc) return true;
    QStringList present;
    // The loader is replaced only beside its picture; without it, the save refuses.
    for (const char* extension : {".SCR", linePicture_ ? ".RAS" : ".PAL", ".BAS"}) {
        const std::string file = name.toStdString() + extension;
        if (std::find(onDisc.value().begin(), onDisc.value().end(), file) != onDisc.value().end())
            present << QString::fromStdString(file);
    }
    if (present.isEmpty()) return true;
    const QString last = present.takeLast();
    const QString names =
        present.isEmpty() ? last : present.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    present << last;
    const QString question = QStringLiteral("%1 already holds %2. Replace %3?")
                                 .arg(QFileInfo(discPath).fileName(), names,
                                      present.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    return askToReplace_ && askToReplace_(question);
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

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    QScrollBar* bar = watched == TELow ? TSLow : watched == TEHigh ? TSHigh : nullptr;
    if (bar == nullptr) return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) refreshThresholds();
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    applyTypedThreshold(static_cast<QLineEdit*>(watched), bar);
    return true;
}

void TMainForm::applyTypedThreshold(QLineEdit* edit, QScrollBar* bar) {
    bool isNumber = false;
    const int typed = edit->text().toInt(&isNumber);
    // The bar's own handler does the rest (the push rule and the log lines), as if the
    // bar had been moved there; a value beyond 62 moves it to 62.
    if (isNumber) bar->setValue(std::clamp(typed, varnoke::kThresholdMin, varnoke::kThresholdMax));
    refreshThresholds();
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

void TMainForm::ResetColoursMenuClick() {
    varnoke::resetSubstitutions(state_, log_);
    refreshInkBoxes();
    AfficheImage();
}

void TMainForm::AfficheImage() {
    if (linePicture_)
        varnoke::drawPictureOfLines(state_, varnoke::penColoursOfLines(*linePicture_), linePicture_->penColours.size(),
                                    area_, log_);
    else
        varnoke::drawPicture(state_, area_, log_);
    Image->setPicturePart(varnoke::pictureAreaPart(state_));
    Image->update();
}

void TMainForm::enablePictureControls() {
    const bool lines = linePicture_ != nullptr;
    auto allow = [lines](auto* control, const QString& tip, const QString& whyNot) {
        control->setEnabled(!lines);
        control->setToolTip(lines ? whyNot : tip);
    };
    allow(LblLow, QString(), varnoke::kLinePenThresholdTip);
    allow(LblHigh, QString(), varnoke::kLinePenThresholdTip);
    allow(TSLow, kLowBarTip, varnoke::kLinePenThresholdTip);
    allow(TSHigh, kHighBarTip, varnoke::kLinePenThresholdTip);
    allow(TELow, kEditTip, varnoke::kLinePenThresholdTip);
    allow(TEHigh, kEditTip, varnoke::kLinePenThresholdTip);
    for (std::size_t n = 0; n < cpcColorBoxes_.size(); ++n)
        allow(cpcColorBoxes_[n], cpcColourTip(static_cast<int>(n)), varnoke::kLinePenPaletteTip);
    allow(FitPaletteMenu, QString(), varnoke::kLinePenPaletteTip);
    allow(ResetColoursMenu, QString(), varnoke::kLinePenPaletteTip);
    allow(OcpPaletteMenu, kOcpPaletteTip, varnoke::kLinePenOcpTip);
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
        const varnoke::couleur_palette& entry = state_.inkBoxes[pen];
        inkBoxes_[pen]->setColor(toQColor(entry.box.background));
        inkBoxes_[pen]->setText(QString::fromStdString(entry.box.text));
        const bool changes = linePicture_ && std::ranges::count(linePicture_->linePens, static_cast<Byte>(pen)) > 0;
        inkBoxes_[pen]->setToolTip(changes ? varnoke::linePenTip(static_cast<int>(pen), linePicture_->penColours[pen])
                                           : penTip(state_, static_cast<int>(pen)));
    }
}
