// The one window of the program. It holds no picture data of its own: every command
// turns the user's action into a call on the core's ProgramState, then shows the
// state again through refreshFromState() and, where colours changed, AfficheImage().
#pragma once

#include "display/picture_display.h"
#include "main/program_state.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <string_view>

class QAction;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QScrollBar;

namespace varnoke {
class ColorBox;
class PictureView;
}  // namespace varnoke

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // Chooses a file: the path, or nothing when the user cancels. Tests replace the
    // dialogs with their own choosers.
    using FileChooser = std::function<std::optional<QString>()>;

    explicit TMainForm(varnoke::ScreenLayout layout, QWidget* parent = nullptr);
    ~TMainForm() override;

    void setOpenChooser(FileChooser chooser) { chooseFileToOpen_ = std::move(chooser); }
    void setSaveChooser(FileChooser chooser) { chooseFileToSave_ = std::move(chooser); }
    void setDiscChooser(FileChooser chooser) { chooseDiscImage_ = std::move(chooser); }

    // The Open command after the dialog: also how a picture named on the command line
    // is opened at start-up.
    void openPicture(const QString& path);
    // The Save command after the dialog.
    void savePicture(const QString& path);
    // The Save to disc image command after the dialog: the files on the disc are named
    // after the last picture opened.
    void saveToDisc(const QString& discPath);

    const varnoke::ProgramState& state() const { return state_; }
    varnoke::ScreenLayout layout() const { return layout_; }

    // One line at the end of the log pane.
    void DEBUG(std::string_view line);

public slots:
    void OpenFileMenuClick();
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
    // Draws the loaded picture into the picture area and shows it.
    void AfficheImage();

private:
    void FormCreate();
    void buildControls();
    void buildMenus();
    void buildDialogs();
    void enableThresholdControls();
    void blankPicture();

    // Shows the whole program state: mode, threshold bars and edits, Ink boxes and
    // the selected pen. The bars are set without raising their change handlers.
    void refreshFromState();
    void refreshThresholds();
    void refreshInkBoxes();

    varnoke::ScreenLayout layout_;
    varnoke::ProgramState state_;
    varnoke::Log log_;
    varnoke::PictureArea area_;

    FileChooser chooseFileToOpen_;
    FileChooser chooseFileToSave_;
    FileChooser chooseDiscImage_;

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
    QScrollBar* TSLow = nullptr;
    QLineEdit* TELow = nullptr;
    QLabel* LblHigh = nullptr;
    QScrollBar* TSHigh = nullptr;
    QLineEdit* TEHigh = nullptr;
    QGroupBox* GB_Couleurs_CPC = nullptr;
    QGroupBox* GBEncres = nullptr;
    std::array<varnoke::ColorBox*, varnoke::kCpcColorCount> cpcColorBoxes_{};
    std::array<varnoke::ColorBox*, varnoke::kPenCount> inkBoxes_{};

    QMenu* FileMenu = nullptr;
    QAction* OpenFileMenu = nullptr;
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

    QFileDialog* OpenPicture = nullptr;
    QFileDialog* SavePicture = nullptr;
    QFileDialog* SaveDisc = nullptr;
};
