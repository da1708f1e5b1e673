#include "window/import_dialog.h"

#include "extras/cpc_preview.h"
#include "import/display_pixels.h"
#include "main/cpc_colors.h"
#include "window/color_box.h"
#include "window/window_parts.h"
#include "workflow/choices.h"
#include "workflow/picture_road.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

#include <cmath>

namespace varnoke {
namespace {

// The source is shown in a box of the CPC screen's shape, half the preview's size.
constexpr int kSourceWidth = 320;
constexpr int kSourceHeight = 200;

// A colour the pens must show is marked with a tick.
const QString kChosenMark = QStringLiteral("\u2713");

QImage toImage(const std::vector<std::uint32_t>& pixels, int width, int height) {
    return QImage(reinterpret_cast<const uchar*>(pixels.data()), width, height, width * 4, QImage::Format_RGB32).copy();
}

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

ImportDialog::ImportDialog(std::shared_ptr<const ImportSession> session, const ImportSettings& settings,
                           const QString& fileName, QWidget* parent, ScreenLayout layout)
    : QDialog(parent), session_(std::move(session)), layout_(layout) {
    setObjectName(QStringLiteral("ImportDialog"));
    setWindowTitle(QStringLiteral("Import Picture - %1").arg(fileName));
    auto* file = named(new QLabel(QStringLiteral("<b>%1</b> (%2 x %3 pixels)")
                                      .arg(fileName.toHtmlEscaped())
                                      .arg(session_->source().width)
                                      .arg(session_->source().height),
                                  this),
                       "ImportFile");
    auto* settingsColumn = new QWidget(this);
    buildSettingsColumn(settingsColumn, settings);
    auto* columns = new QHBoxLayout;
    columns->addWidget(settingsColumn, 0, Qt::AlignTop);
    columns->addWidget(buildPreviewColumn(), 1);
    buttons_ = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this), "ImportButtons");
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* whole = new QVBoxLayout(this);
    whole->addWidget(file);
    whole->addLayout(columns);
    whole->addWidget(buttons_);

    runThread_.setMaxThreadCount(1);
    measureThread_.setMaxThreadCount(1);
    connect(&running_, &QFutureWatcher<ImportResult>::finished, this, &ImportDialog::runFinished);
    connect(&measuring_, &QFutureWatcher<std::pair<int, double>>::finished, this, &ImportDialog::measureFinished);
    settingsChanged();
}

ImportDialog::~ImportDialog() {
    // The runs hold the session, not the dialog; waiting here keeps their end simple.
    running_.waitForFinished();
    measuring_.waitForFinished();
}

void ImportDialog::buildSettingsColumn(QWidget* column, const ImportSettings& settings) {
    auto* form = new QFormLayout(column);
    mode_ = named(new QComboBox(column), "ImportMode");
    for (const ModeChoice& choice : kModeChoices) mode_->addItem(QString::fromStdString(modeLabel(choice)));
    mode_->setCurrentIndex(std::min<int>(settings.cpcMode, 2));
    screen_ = named(new QComboBox(column), "ImportScreen");
    for (const ScreenChoice& choice : kScreenChoices)
        screen_->addItem(QString::fromLatin1(choice.label), static_cast<int>(choice.screen));
    screen_->setCurrentIndex(std::max(0, screen_->findData(static_cast<int>(settings.screen))));
    screen_->setToolTip(QStringLiteral("The standard screen inside the border, or overscan over the whole display"));
    resize_ = named(new QComboBox(column), "ImportResize");
    for (const ResizeChoice& choice : kResizeChoices)
        resize_->addItem(QString::fromLatin1(choice.label), static_cast<int>(choice.rule));
    resize_->setCurrentIndex(std::max(0, resize_->findData(static_cast<int>(settings.resize))));
    dither_ = named(new QComboBox(column), "ImportDither");
    for (const DitherChoice& choice : kDitherChoices)
        dither_->addItem(QString::fromLatin1(choice.label), static_cast<int>(choice.method));
    dither_->setCurrentIndex(std::max(0, dither_->findData(static_cast<int>(settings.dither.method))));
    // A method other than the mode's default was the user's pick in an earlier import.
    methodPicked_ = settings.dither.method != defaultImportDither(settings.cpcMode, settings.linePens);
    colours_ = named(new QSpinBox(column), "ImportColours");
    const int modePens = pensOfMode(static_cast<Byte>(mode_->currentIndex()));
    colours_->setRange(1, modePens);
    colours_->setValue(settings.colours > 0 ? std::min(settings.colours, modePens) : modePens);
    colours_->setToolTip(QStringLiteral("How many of the mode's pens the picture uses"));
    form->addRow(QStringLiteral("&Mode:"), mode_);
    form->addRow(QStringLiteral("S&creen:"), screen_);
    form->addRow(QStringLiteral("&Resize:"), resize_);
    form->addRow(QStringLiteral("&Dithering:"), dither_);
    addStrengthRow(form, column, settings.dither);
    form->addRow(QStringLiteral("&Pens:"), colours_);
    addLinePensRow(form, column);
    auto* fixedGroup = named(new QGroupBox(QStringLiteral("Colours the pens must show"), column), "ImportFixed");
    buildFixedColours(fixedGroup, settings);
    form->addRow(fixedGroup);
    limitLinePens();
    linePens_->setValue(settings.linePens);
    followUnpickedMethod();
    source_ = named(new QLabel(column), "ImportSource");
    source_->setFixedSize(kSourceWidth, kSourceHeight);
    source_->setToolTip(QStringLiteral("The picture, with what the resize rule keeps of it"));
    form->addRow(new QLabel(QStringLiteral("Source:"), column));
    form->addRow(source_);
    showSource();
    connectSettings();
}

void ImportDialog::addStrengthRow(QFormLayout* form, QWidget* column, const DitherOptions& dither) {
    strength_ = named(new QSlider(Qt::Horizontal, column), "ImportStrength");
    strength_->setRange(0, 100);
    strength_->setValue(dither.strength);
    strength_->setToolTip(QStringLiteral("How much of each pixel's error the dithering carries on, in percent"));
    strengthValue_ = named(new QLabel(column), "ImportStrengthValue");
    strengthValue_->setMinimumWidth(strengthValue_->fontMetrics().horizontalAdvance(QStringLiteral("100 %")));
    strengthValue_->setText(QStringLiteral("%1 %").arg(strength_->value()));
    chooseDither_ = named(new QCheckBox(QStringLiteral("c&hosen for the picture"), column), "ImportChooseDither");
    chooseDither_->setChecked(dither.chooseStrength);
    chooseDither_->setToolTip(
        QStringLiteral("The strength, and Floyd-Steinberg or Sierra unless you pick a method, that bring this "
                       "picture closest as the eye sees it. Moving the strength sets it yourself; checking this "
                       "again chooses both."));
    auto* strengthRow = new QHBoxLayout;
    strengthRow->addWidget(strength_, 1);
    strengthRow->addWidget(strengthValue_);
    strengthRow->addWidget(chooseDither_);
    auto* strengthLabel = new QLabel(QStringLiteral("&Strength:"), column);
    strengthLabel->setBuddy(strength_);
    form->addRow(strengthLabel, strengthRow);
}

void ImportDialog::addLinePensRow(QFormLayout* form, QWidget* column) {
    linePens_ = named(new QSpinBox(column), "ImportLinePens");
    linePens_->setSpecialValueText(QStringLiteral("none"));
    linePensLimit_ = named(new QLabel(column), "ImportLinePensLimit");
    auto* row = new QHBoxLayout;
    row->addWidget(linePens_);
    row->addWidget(linePensLimit_, 1);
    auto* label = new QLabel(QStringLiteral("&Line pens:"), column);
    label->setBuddy(linePens_);
    form->addRow(label, row);
}

void ImportDialog::connectSettings() {
    connect(mode_, &QComboBox::currentIndexChanged, this, &ImportDialog::modeChanged);
    // The new run starts first: the thumbnail is drawn while it works.
    connect(resize_, &QComboBox::currentIndexChanged, this, [this] {
        settingsChanged();
        showSource();
    });
    connect(screen_, &QComboBox::currentIndexChanged, this, [this] {
        limitLinePens();
        settingsChanged();
        showSource();
    });
    // The mode's change of method is made with the box's signals blocked: any change
    // that comes through is the user's pick.
    connect(dither_, &QComboBox::currentIndexChanged, this, [this] {
        methodPicked_ = true;
        settingsChanged();
    });
    // The slider shows a chosen strength with its signals blocked: any move that comes
    // through is the user's pick.
    connect(strength_, &QSlider::valueChanged, this, [this](int value) {
        strengthValue_->setText(QStringLiteral("%1 %").arg(value));
        const QSignalBlocker blockChoose(chooseDither_);
        chooseDither_->setChecked(false);
        settingsChanged();
    });
    // Checked again, the method is chosen too, whatever was picked before.
    connect(chooseDither_, &QCheckBox::toggled, this, [this](bool checked) {
        if (checked) methodPicked_ = false;
        settingsChanged();
    });
    connect(colours_, &QSpinBox::valueChanged, this, [this] {
        limitLinePens();
        settingsChanged();
    });
    connect(linePens_, &QSpinBox::valueChanged, this, [this] {
        followUnpickedMethod();
        settingsChanged();
    });
}

DitherMethod ImportDialog::unpickedMethod() const {
    return defaultImportDither(static_cast<Byte>(mode_->currentIndex()),
                               linePens_->isEnabled() ? linePens_->value() : 0);
}

void ImportDialog::followUnpickedMethod() {
    if (methodPicked_) return;
    const QSignalBlocker blockDither(dither_);
    dither_->setCurrentIndex(dither_->findData(static_cast<int>(unpickedMethod())));
}

void ImportDialog::limitLinePens() {
    const QSignalBlocker blockLinePens(linePens_);
    const Byte mode = static_cast<Byte>(mode_->currentIndex());
    const bool overscan = static_cast<ScreenFormat>(screen_->currentData().toInt()) == ScreenFormat::Overscan;
    const bool at4000 = layout_ == ScreenLayout::At4000;
    linePens_->setRange(0, at4000 ? mostLinePens(settings()) : 0);
    linePens_->setEnabled(at4000 && !overscan);
    linePensLimit_->setEnabled(at4000 && !overscan);
    linePensLimit_->setText(QStringLiteral("at most %1 in mode %2").arg(maxLinePens(mode)).arg(mode));
    const QString tip =
        !at4000 ? QStringLiteral(
                      "Line pens are shown by a routine that shows the picture from &4000: this program "
                      "saves screens loaded at &C000, the &4000 program saves line pens")
        : overscan ? QStringLiteral("An overscan line leaves too little undrawn time to change pens in")
                   : QStringLiteral(
                         "How many pens take a new colour on every line (none: every pen keeps one colour). "
                         "At most 3 in modes 0 and 1, 1 in mode 2: the changes that fit in the part of a line "
                         "the beam does not draw. One pen at least keeps its colour, and so does each colour "
                         "the pens must show.");
    linePens_->setToolTip(tip);
    linePensLimit_->setToolTip(tip);
    followUnpickedMethod();
}

void ImportDialog::modeChanged() {
    const Byte mode = static_cast<Byte>(mode_->currentIndex());
    const int modePens = pensOfMode(mode);
    {
        // One change of mode, one run: the method and the pens follow it silently.
        const QSignalBlocker blockDither(dither_);
        const QSignalBlocker blockColours(colours_);
        const bool allPens = colours_->value() == colours_->maximum();
        colours_->setRange(1, modePens);
        if (allPens) colours_->setValue(modePens);
        limitLinePens();
    }
    settingsChanged();
}

void ImportDialog::buildFixedColours(QWidget* parent, const ImportSettings& settings) {
    auto* grid = new QGridLayout(parent);
    grid->setSpacing(1);
    for (int n = 0; n < kCpcColorCount; ++n) {
        auto* box = new ColorBox(n, parent);
        box->setObjectName(QStringLiteral("ImportFixed%1").arg(n));
        box->setFixedSize(18, 18);
        const Rgb rgb = cpcDisplayColor(static_cast<Byte>(n));
        box->setColor(QColor(rgb.r, rgb.g, rgb.b));
        box->setToolTip(QStringLiteral("CPC colour %1: %2. Click to make a pen show it, or to free it.")
                            .arg(n)
                            .arg(QString::fromLatin1(cpcColorName(static_cast<Byte>(n)))));
        const bool fixed =
            std::find(settings.fixedColours.begin(), settings.fixedColours.end(), n) != settings.fixedColours.end();
        box->setThreeD(fixed);
        box->setText(fixed ? kChosenMark : QString());
        connect(box, &ColorBox::clicked, this, [this, box] {
            box->setThreeD(!box->isThreeD());
            box->setText(box->isThreeD() ? kChosenMark : QString());
            limitLinePens();
            settingsChanged();
        });
        grid->addWidget(box, n / 9, n % 9);
        fixed_[static_cast<std::size_t>(n)] = box;
    }
}

QWidget* ImportDialog::buildPenRow(QWidget* parent) {
    auto* row = named(new QWidget(parent), "ImportPens");
    auto* boxes = new QHBoxLayout(row);
    boxes->setContentsMargins(0, 0, 0, 0);
    boxes->setSpacing(2);
    boxes->addWidget(new QLabel(QStringLiteral("Pens:"), row));
    for (std::size_t pen = 0; pen < pens_.size(); ++pen) {
        auto* box = new ColorBox(static_cast<int>(pen), row);
        box->setObjectName(QStringLiteral("ImportPen%1").arg(pen));
        box->setFixedSize(26, 20);
        boxes->addWidget(box);
        pens_[pen] = box;
    }
    boxes->addStretch(1);
    return row;
}

void ImportDialog::showPens(const ImportResult& result) {
    for (std::size_t pen = 0; pen < pens_.size(); ++pen) {
        ColorBox* box = pens_[pen];
        box->setVisible(pen < result.penColours.size());
        if (pen >= result.penColours.size()) continue;
        const Byte colour = result.penColours[pen];
        const Rgb rgb = cpcDisplayColor(colour);
        box->setColor(QColor(rgb.r, rgb.g, rgb.b));
        box->setText(QString::number(colour));
        const bool changes = std::find(result.linePens.begin(), result.linePens.end(), pen) != result.linePens.end();
        box->setToolTip(changes ? linePenTip(static_cast<int>(pen), colour)
                                : QStringLiteral("Pen %1: CPC colour %2, %3")
                                      .arg(pen)
                                      .arg(colour)
                                      .arg(QString::fromLatin1(cpcColorName(colour))));
    }
}

QWidget* ImportDialog::buildPreviewColumn() {
    auto* column = new QWidget(this);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    preview_ = named(new QLabel(column), "ImportPreview");
    preview_->setFixedSize(kPictureAreaWidth, kPictureAreaHeight);
    quality_ = named(new QLabel(column), "ImportQuality");
    quality_->setToolTip(
        QStringLiteral("Mean colour difference between the source and what the CPC will show, "
                       "as the eye sees it (S-CIELAB, CIEDE2000): lower is better"));
    busy_ = named(new QProgressBar(column), "ImportBusy");
    busy_->setRange(0, 0);  // moves without a measure of progress
    busy_->setFixedWidth(120);
    // Hidden, the bar keeps its place, so that nothing beside it moves.
    QSizePolicy keepPlace = busy_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    busy_->setSizePolicy(keepPlace);
    auto* status = new QHBoxLayout;
    status->addWidget(busy_);
    status->addWidget(quality_, 1);
    layout->addWidget(new QLabel(QStringLiteral("What the CPC will show:"), column));
    layout->addWidget(preview_);
    layout->addWidget(buildPenRow(column));
    layout->addLayout(status);
    layout->addStretch(1);
    return column;
}

void ImportDialog::showSource() {
    // The thumbnail shows what the resize rule does: Fill's crop outlined (the rest
    // dimmed), Fit's border drawn around the picture on a screen-shaped frame.
    const LinearImage& picture = session_->source();
    const ResizeRule rule = static_cast<ResizeRule>(resize_->currentData().toInt());
    const auto screen = static_cast<ScreenFormat>(screen_->currentData().toInt());
    const Placement placement = placementOf(picture.width, picture.height, rule, screen);
    QImage frame(kSourceWidth, kSourceHeight, QImage::Format_RGB32);
    frame.fill(palette().color(QPalette::Window));
    QPainter painter(&frame);
    if (rule == ResizeRule::Fit) {
        // The screen: the whole thumbnail (8 : 5), or 24 : 17 across its height for overscan.
        const int screenWidth = screen == ScreenFormat::Overscan ? kSourceHeight * 24 / 17 : kSourceWidth;
        const QRect screenRect((kSourceWidth - screenWidth) / 2, 0, screenWidth, kSourceHeight);
        const PixelRegion region = targetRegion(placement, screenRect.width(), screenRect.height());
        const DisplayPixels shown = displayPixels(picture, region.right - region.left, region.bottom - region.top);
        painter.fillRect(screenRect, Qt::black);
        painter.drawImage(screenRect.left() + region.left, region.top,
                          toImage(shown.pixels, shown.width, shown.height));
        painter.setPen(QPen(Qt::yellow, 1, Qt::DashLine));
        painter.drawRect(screenRect.adjusted(0, 0, -1, -1));
    } else {
        const DisplayPixels shown = displayPixels(picture, kSourceWidth, kSourceHeight);
        const QImage image = toImage(shown.pixels, shown.width, shown.height);
        const int left = (kSourceWidth - image.width()) / 2;
        const int top = (kSourceHeight - image.height()) / 2;
        painter.drawImage(left, top, image);
        if (rule == ResizeRule::Fill) {
            const double width = image.width();
            const double height = image.height();
            const QRect kept(left + static_cast<int>(std::lround(placement.s0 * width)),
                             top + static_cast<int>(std::lround(placement.t0 * height)),
                             static_cast<int>(std::lround((placement.s1 - placement.s0) * width)),
                             static_cast<int>(std::lround((placement.t1 - placement.t0) * height)));
            const QRegion dropped = QRegion(left, top, image.width(), image.height()) - QRegion(kept);
            painter.setClipRegion(dropped);
            painter.fillRect(frame.rect(), QColor(0, 0, 0, 150));
            painter.setClipping(false);
            painter.setPen(QPen(Qt::yellow, 1, Qt::DashLine));
            painter.drawRect(kept.adjusted(0, 0, -1, -1));
        }
    }
    painter.end();
    source_->setPixmap(QPixmap::fromImage(frame));
}

ImportSettings ImportDialog::settings() const {
    ImportSettings settings;
    settings.cpcMode = static_cast<Byte>(mode_->currentIndex());
    settings.screen = static_cast<ScreenFormat>(screen_->currentData().toInt());
    settings.resize = static_cast<ResizeRule>(resize_->currentData().toInt());
    settings.dither = {static_cast<DitherMethod>(dither_->currentData().toInt()), strength_->value()};
    // Left to choose, the choice starts where the converter's does, whatever the slider and
    // the method's box show of the last choice.
    if (chooseDither_->isChecked()) {
        settings.dither.chooseStrength = true;
        settings.dither.strength = DitherOptions{}.strength;
        if (!methodPicked_) {
            settings.dither.chooseMethod = true;
            settings.dither.method = unpickedMethod();
        }
    }
    // All of the mode's pens is the session's 0.
    settings.colours = colours_->value() == colours_->maximum() ? 0 : colours_->value();
    for (const ColorBox* box : fixed_)
        if (box->isThreeD()) settings.fixedColours.push_back(static_cast<Byte>(box->number()));
    settings.linePens = linePens_->isEnabled() ? linePens_->value() : 0;
    return settings;
}

std::optional<ImportResult> ImportDialog::result() const { return isBusy() ? std::nullopt : shown_; }

bool ImportDialog::isBusy() const { return runPending_ || waiting_.has_value(); }

void ImportDialog::settingsChanged() {
    ++changes_;
    busy_->setVisible(true);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(false);
    if (runPending_) {
        waiting_ = settings();
        return;
    }
    startRun(settings());
}

void ImportDialog::startRun(ImportSettings settings, bool full) {
    waiting_.reset();
    runPending_ = true;
    runningSettings_ = std::move(settings);
    std::shared_ptr<const ImportSession> session = session_;
    // While the settings change, the best dithering's preview is its start: the mode's
    // default method. OK runs the search.
    ImportSettings preview = runningSettings_;
    if (preview.dither.method == DitherMethod::Best) preview.dither.method = defaultDither(preview.cpcMode);
    // A change that needs a new pen search shows the quick score's pens first; the full
    // search follows and replaces them.
    running_.setFuture(QtConcurrent::run(
        &runThread_, [session, preview, full] { return full ? session->run(preview) : session->quickRun(preview); }));
}

void ImportDialog::accept() {
    const ImportSettings wanted = settings();
    if (wanted.dither.method != DitherMethod::Best || isBusy()) {
        if (!isBusy()) QDialog::accept();
        return;
    }
    QProgressDialog progress(QStringLiteral("Searching for the best dithering ..."), QStringLiteral("Cancel"), 0, 100,
                             this);
    progress.setObjectName(QStringLiteral("ImportBestProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    auto done = std::make_shared<std::atomic<int>>(0);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<const ImportSession> session = session_;
    QFuture<std::optional<ImportResult>> search = QtConcurrent::run(&runThread_, [session, wanted, done, cancelled] {
        return session->run(wanted, [done, cancelled](double share) {
            done->store(static_cast<int>(share * 100));
            return !cancelled->load();
        });
    });
    while (!search.isFinished()) {
        progress.setValue(done->load());
        if (progress.wasCanceled()) cancelled->store(true);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    const std::optional<ImportResult> best = search.result();
    if (!best) return;  // cancelled: the dialog keeps its result and its settings
    showResult(*best);
    QDialog::accept();
}

void ImportDialog::runFinished() {
    // A result for settings that have changed since is never shown.
    if (waiting_) {
        startRun(*waiting_);
        return;
    }
    const ImportResult result = running_.result();
    if (result.quick) {
        showResult(result, false);
        startRun(runningSettings_, true);
        return;
    }
    runPending_ = false;
    showResult(result);
}

void ImportDialog::showChosenDither(const DitherOptions& chosen) {
    const QSignalBlocker blockStrength(strength_);
    const QSignalBlocker blockMethod(dither_);
    strength_->setValue(chosen.strength);
    strengthValue_->setText(QStringLiteral("%1 %").arg(chosen.strength));
    // With line pens, the box keeps showing the search that OK runs from the chosen method.
    if (!methodPicked_ && unpickedMethod() != DitherMethod::Best)
        dither_->setCurrentIndex(dither_->findData(static_cast<int>(chosen.method)));
}

void ImportDialog::showResult(const ImportResult& result, bool final) {
    shown_ = result;
    if (final && result.chosenDither && chooseDither_->isChecked()) showChosenDither(*result.chosenDither);
    showPens(result);
    const PictureArea canvas = cpcViewOf(result);
    // The overscan display, 832 × 576, is shrunk into the preview's 640 × 400.
    const QImage image = toImage(canvas.pixels, canvas.width, canvas.height);
    preview_->setPixmap(QPixmap::fromImage(
        canvas.width == kPictureAreaWidth && canvas.height == kPictureAreaHeight
            ? image
            : image.scaled(kPictureAreaWidth, kPictureAreaHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    preview_->setAlignment(Qt::AlignCenter);
    if (!final) {
        // A quick first answer: the busy bar stays until the full search replaces it.
        emit previewShown();
        return;
    }
    busy_->setVisible(false);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(true);
    quality_->setText(QStringLiteral("Quality: measuring ..."));
    if (measuring_.isRunning())
        measureWanted_ = true;
    else
        startMeasure();
    emit previewShown();
}

void ImportDialog::startMeasure() {
    measureWanted_ = false;
    if (!shown_) return;
    const int change = changes_;
    std::shared_ptr<const ImportSession> session = session_;
    const ImportSettings shownSettings = settings();
    const ImportResult result = *shown_;
    measuring_.setFuture(QtConcurrent::run(&measureThread_, [session, shownSettings, result, change] {
        return std::pair<int, double>(change, session->measure(shownSettings, result));
    }));
}

void ImportDialog::measureFinished() {
    const auto [change, score] = measuring_.result();
    if (measureWanted_ && !isBusy()) startMeasure();
    if (change != changes_ || !shown_) return;
    shown_->score = score;
    quality_->setText(QStringLiteral("Quality: %1 (mean difference as the eye sees it; lower is better)")
                          .arg(shown_->score, 0, 'f', 2));
}

}  // namespace varnoke
