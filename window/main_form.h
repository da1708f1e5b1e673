// The one window of the program. It holds no picture data of its own: every command
// turns the user's action into a call on the core's ProgramState, then shows the
// state again through refreshFromState() and, where colours changed, AfficheImage().
#pragma once

#include "cpc/save_command.h"
#include "display/picture_display.h"
#include "main/expected.h"
#include "main/program_state.h"
#include "window/window_settings.h"

#include <QHash>
#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QScrollBar;
class QWidget;

namespace varnoke {
class ColorBox;
class ImportDialog;
struct ImportResult;
class PictureView;
class ThresholdBar;
}  // namespace varnoke

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // Chooses a file: the path, or nothing when the user cancels. Tests replace the
    // dialogs with their own choosers.
    using FileChooser = std::function<std::optional<QString>()>;
    // Asks for the 8.3 name of the files on a disc, offering a proposal: the name in
    // upper case, or nothing when the user cancels.
    using NameChooser = std::function<std::optional<QString>(const QString& proposal)>;
    // Shows the import dialog; true when the user accepts its result. Tests answer in
    // its place.
    using ImportRunner = std::function<bool(varnoke::ImportDialog& dialog)>;
    // Asks a yes-or-no question; true for yes.
    using Question = std::function<bool(const QString& question)>;
    // Tells the user why a command did nothing, where the eye is (a message box).
    using Notice = std::function<void(const QString& title, const QString& text)>;

    explicit TMainForm(varnoke::ScreenLayout layout, QWidget* parent = nullptr);
    ~TMainForm() override;

    void setOpenChooser(FileChooser chooser) { chooseFileToOpen_ = std::move(chooser); }
    void setSaveChooser(FileChooser chooser) { chooseFileToSave_ = std::move(chooser); }
    void setDiscChooser(FileChooser chooser) { chooseDiscImage_ = std::move(chooser); }
    void setDiscNameChooser(NameChooser chooser) { chooseDiscName_ = std::move(chooser); }
    void setReplaceQuestion(Question question) { askToReplace_ = std::move(question); }
    // Asked when Open is given a picture of another kind: import it instead?
    void setImportQuestion(Question question) { askToImport_ = std::move(question); }
    void setNotice(Notice notice) { tell_ = std::move(notice); }
    void setImportChooser(FileChooser chooser) { chooseFileToImport_ = std::move(chooser); }
    void setImportRunner(ImportRunner runner) { runImport_ = std::move(runner); }

    // The size the window opens at, and the smallest it can be made.
    static QSize firstClientSize();

    // The Open command after the dialog: also how a picture named on the command line
    // is opened at start-up.
    void openPicture(const QString& path);
    // The Save command after the dialog.
    void savePicture(const QString& path);
    // The Save to disc image command after the dialog: asks for the name of the files on
    // the disc (proposed from the last picture opened) and, when the disc already holds
    // files of that name, whether to replace them.
    void saveToDisc(const QString& discPath);
    // A file given on the command line or dropped on the window: through Open when it is
    // a PCX picture that Open accepts, through Import otherwise.
    void openGivenFile(const QString& path);
    // The Import command after the dialog: decodes the picture, shows the import dialog,
    // and on OK puts its result into the window as an opened picture.
    void importPicture(const QString& path);
    // Puts an import's result into the window: its log lines, palette building, display.
    void installImport(const varnoke::ImportResult& result, const QString& path);

    const varnoke::ProgramState& state() const { return state_; }
    varnoke::ScreenLayout layout() const { return layout_; }

    // One line at the end of the log pane.
    void DEBUG(std::string_view line);

public slots:
    void OpenFileMenuClick();
    void ImportMenuClick();
    void SaveFileMenuClick();
    void SaveDiscMenuClick();
    void ExitFileMenuClick();
    void TSLowChange(int position);
    void TSHighChange(int position);
    void ChangeColorPalette(int pen);
    void ChangeColorHard(int cpcColor);
    // Gives every surplus pen whose colour the mode cannot show the colour of the
    // nearest pen of the mode.
    void FitPaletteMenuClick();
    // Every colour shows as itself again.
    void ResetColoursMenuClick();
    // Draws the loaded picture into the picture area and shows it.
    void AfficheImage();

protected:
    // Return in a threshold box confirms its number; leaving the box puts back the value in effect.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void buildControls();
    void buildLogPane();
    void buildThresholdControls();
    void buildColourRows();
    void buildPictureArea();
    void chainTabOrder();
    void buildMenus();
    void buildFileMenu();
    void buildDialogs();
    void placeControls(QSize clientSize);
    // Enables the controls a picture uses; those that give a pen one colour (thresholds,
    // colour changes, the OCP palette byte) stay disabled for a picture whose pens change
    // colour on every line, each with a tooltip that says why.
    void enablePictureControls();
    void blankPicture();
    void applyTypedThreshold(QLineEdit* edit, QScrollBar* bar);
    // A refused save, told in the log (what to do about a palette that does not fit) and
    // in a message box.
    void reportRefusal(const QString& title, const QString& target, const varnoke::Failure& failure);
    // A refused Open: a picture of another kind is offered to the import; any other
    // refusal is told with its reason.
    void refuseOpen(const QString& path, const varnoke::Failure& failure);
    void tellRefusal(const QString& title, const QString& text);
    // After Open or an import: the title names the file, and the picture is shown.
    void showNewPicture(const QString& path);
    // False, having told the user what to do, when no picture is loaded.
    bool somethingToSave();
    // The picture's name with ".scr", for the save dialog.
    QString proposedSaveName() const;
    varnoke::PaletteModeByte paletteModeByte() const;
    bool confirmReplacing(const QString& discPath, const QString& name);
    std::optional<QString> choose(const FileChooser& chooser);

    // Shows the whole program state: mode, threshold bars and edits, Ink boxes and
    // the selected pen. The bars are set without raising their change handlers.
    void refreshFromState();
    void refreshThresholds();
    void refreshInkBoxes();

    varnoke::ScreenLayout layout_;
    varnoke::ProgramState state_;
    varnoke::Log log_;
    varnoke::PictureArea area_;
    // The import's result while the picture's pens change colour on every line, which the
    // state's one colour a pen cannot hold: it is drawn and saved from this. The state
    // holds the picture with each pen's colour on line 0.
    std::unique_ptr<const varnoke::ImportResult> linePicture_;

    FileChooser chooseFileToOpen_;
    FileChooser chooseFileToSave_;
    FileChooser chooseDiscImage_;
    FileChooser chooseFileToImport_;
    ImportRunner runImport_;
    NameChooser chooseDiscName_;
    Question askToReplace_;
    Question askToImport_;
    Notice tell_;
    varnoke::WindowSettings settings_;

    // Where each control that moves or grows sits at the window's first size.
    QHash<QWidget*, QRect> firstGeometry_;

    // The path of the last picture the Open command accepted; empty before any.
    QString picturePath_;

    // Controls, named as the window's definition names them.
    QGroupBox* GBImage = nullptr;
    varnoke::PictureView* Image = nullptr;
    QGroupBox* GBMode = nullptr;
    QPlainTextEdit* Debug = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* LabelMode = nullptr;
    QLabel* LblLow = nullptr;
    varnoke::ThresholdBar* TSLow = nullptr;
    QLineEdit* TELow = nullptr;
    QLabel* LblHigh = nullptr;
    varnoke::ThresholdBar* TSHigh = nullptr;
    QLineEdit* TEHigh = nullptr;
    QGroupBox* GB_Couleurs_CPC = nullptr;
    QGroupBox* GBEncres = nullptr;
    std::array<varnoke::ColorBox*, varnoke::kCpcColorCount> cpcColorBoxes_{};
    std::array<varnoke::ColorBox*, varnoke::kPenCount> inkBoxes_{};

    QMenu* FileMenu = nullptr;
    QAction* OpenFileMenu = nullptr;
    QAction* ImportMenu = nullptr;
    QAction* SaveFileMenu = nullptr;
    QAction* SaveDiscMenu = nullptr;
    QAction* ExitFileMenu = nullptr;
    QMenu* AboutMenu = nullptr;
    QMenu* EditMenu = nullptr;
    QAction* DecodeAmsdosEditMenu = nullptr;
    QAction* DecodePCXEditMenu = nullptr;
    QAction* Afficheimage1 = nullptr;
    QMenu* PaletteMenu = nullptr;
    QAction* FitPaletteMenu = nullptr;
    QAction* ResetColoursMenu = nullptr;
    // Checked: saves write the picture's mode into the palette block's first byte.
    QAction* OcpPaletteMenu = nullptr;

    QFileDialog* OpenPicture = nullptr;
    QFileDialog* SavePicture = nullptr;
    QFileDialog* SaveDisc = nullptr;
    QFileDialog* ImportPicture = nullptr;
};
