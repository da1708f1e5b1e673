#include "window/import_dialog.h"

#include "extras/cpc_preview.h"
#include "import/display_pixels.h"
#include "main/cpc_colors.h"
#include "window/color_box.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace varnoke {
namespace {

// The source is shown in a box of the CPC screen's shape, half the preview's size.
constexpr int kSourceWidth = 320;
constexpr int kSourceHeight = 200;

const std::array<std::pair<DitherMethod, const char*>, 9> kDitherNames{{
    {DitherMethod::None, "None"},
    {DitherMethod::FloydSteinberg, "Floyd-Steinberg"},
    {DitherMethod::Atkinson, "Atkinson"},
    {DitherMethod::Jarvis, "Jarvis, Judice and Ninke"},
    {DitherMethod::Stucki, "Stucki"},
    {DitherMethod::Sierra, "Sierra"},
    {DitherMethod::Bayer4, "Ordered, Bayer 4 x 4"},
    {DitherMethod::Bayer8, "Ordered, Bayer 8 x 8"},
    {DitherMethod::Pattern, "Ordered, pattern"},
}};

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
                           QWidget* parent)
    : QDialog(parent), session_(std::move(session)) {
    setObjectName(QStringLiteral("ImportDialog"));
    setWindowTitle(QStringLiteral("Import Picture"));
    auto* settingsColumn = new QWidget(this);
    buildSettingsColumn(settingsColumn, settings);
    auto* columns = new QHBoxLayout;
    columns->addWidget(settingsColumn);
    columns->addWidget(buildPreviewColumn(), 1);
    buttons_ = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this), "ImportButtons");
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* whole = new QVBoxLayout(this);
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
    mode_->addItems({QStringLiteral("0: 160 x 200, 16 pens"), QStringLiteral("1: 320 x 200, 4 pens"),
                     QStringLiteral("2: 640 x 200, 2 pens")});
    mode_->setCurrentIndex(std::min<int>(settings.cpcMode, 2));
    resize_ = named(new QComboBox(column), "ImportResize");
    resize_->addItems({QStringLiteral("Fill (crop to the screen's shape)"), QStringLiteral("Fit (add a border)"),
                       QStringLiteral("Stretch")});
    resize_->setCurrentIndex(static_cast<int>(settings.resize));
    dither_ = named(new QComboBox(column), "ImportDither");
    for (const auto& [method, name] : kDitherNames)
        dither_->addItem(QString::fromLatin1(name), static_cast<int>(method));
    dither_->setCurrentIndex(std::max(0, dither_->findData(static_cast<int>(settings.dither.method))));
    strength_ = named(new QSlider(Qt::Horizontal, column), "ImportStrength");
    strength_->setRange(0, 100);
    strength_->setValue(settings.dither.strength);
    strength_->setToolTip(QStringLiteral("How much of each pixel's error the dithering carries on, in percent"));
    colours_ = named(new QSpinBox(column), "ImportColours");
    colours_->setRange(0, 16);
    colours_->setSpecialValueText(QStringLiteral("all of the mode's pens"));
    colours_->setValue(settings.colours);
    form->addRow(QStringLiteral("&Mode:"), mode_);
    form->addRow(QStringLiteral("&Resize:"), resize_);
    form->addRow(QStringLiteral("&Dithering:"), dither_);
    form->addRow(QStringLiteral("&Strength:"), strength_);
    form->addRow(QStringLiteral("&Pens:"), colours_);
    auto* fixedGroup = named(new QGroupBox(QStringLiteral("Colours the pens must show"), column), "ImportFixed");
    buildFixedColours(fixedGroup, settings);
    form->addRow(fixedGroup);
    for (QComboBox* box : {mode_, resize_, dither_})
        connect(box, &QComboBox::currentIndexChanged, this, &ImportDialog::settingsChanged);
    connect(strength_, &QSlider::valueChanged, this, &ImportDialog::settingsChanged);
    connect(colours_, &QSpinBox::valueChanged, this, &ImportDialog::settingsChanged);
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
        box->setText(fixed ? QStringLiteral("x") : QString());
        connect(box, &ColorBox::clicked, this, [this, box] {
            box->setThreeD(!box->isThreeD());
            box->setText(box->isThreeD() ? QStringLiteral("x") : QString());
            settingsChanged();
        });
        grid->addWidget(box, n / 9, n % 9);
        fixed_[static_cast<std::size_t>(n)] = box;
    }
}

QWidget* ImportDialog::buildPreviewColumn() {
    auto* column = new QWidget(this);
    auto* layout = new QGridLayout(column);
    const DisplayPixels source = displayPixels(session_->source(), kSourceWidth, kSourceHeight);
    source_ = named(new QLabel(column), "ImportSource");
    source_->setPixmap(QPixmap::fromImage(toImage(source.pixels, source.width, source.height)));
    source_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    source_->setMinimumSize(kSourceWidth, kSourceHeight);
    preview_ = named(new QLabel(column), "ImportPreview");
    preview_->setFixedSize(kPictureAreaWidth, kPictureAreaHeight);
    quality_ = named(new QLabel(column), "ImportQuality");
    quality_->setToolTip(
        QStringLiteral("Mean colour difference between the source and what the CPC will show, "
                       "as the eye sees it (S-CIELAB, CIEDE2000): lower is better"));
    busy_ = named(new QProgressBar(column), "ImportBusy");
    busy_->setRange(0, 0);  // moves without a measure of progress
    busy_->setMaximumWidth(160);
    layout->addWidget(new QLabel(QStringLiteral("Source:"), column), 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("What the CPC will show:"), column), 0, 1);
    layout->addWidget(source_, 1, 0);
    layout->addWidget(preview_, 1, 1);
    layout->addWidget(quality_, 2, 1);
    layout->addWidget(busy_, 2, 0);
    return column;
}

ImportSettings ImportDialog::settings() const {
    ImportSettings settings;
    settings.cpcMode = static_cast<Byte>(mode_->currentIndex());
    settings.resize = static_cast<ResizeRule>(resize_->currentIndex());
    settings.dither = {static_cast<DitherMethod>(dither_->currentData().toInt()), strength_->value()};
    settings.colours = colours_->value();
    for (const ColorBox* box : fixed_)
        if (box->isThreeD()) settings.fixedColours.push_back(static_cast<Byte>(box->number()));
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

void ImportDialog::startRun(const ImportSettings& settings) {
    waiting_.reset();
    runPending_ = true;
    std::shared_ptr<const ImportSession> session = session_;
    running_.setFuture(QtConcurrent::run(&runThread_, [session, settings] { return session->run(settings); }));
}

void ImportDialog::runFinished() {
    // A result for settings that have changed since is never shown.
    if (waiting_) {
        startRun(*waiting_);
        return;
    }
    runPending_ = false;
    showResult(running_.result());
}

void ImportDialog::showResult(const ImportResult& result) {
    shown_ = result;
    const PictureArea canvas = renderPens(result.cpcMode, result.penOfPixel, result.penColours);
    preview_->setPixmap(QPixmap::fromImage(toImage(canvas.pixels, kPictureAreaWidth, kPictureAreaHeight)));
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
        return std::pair<int, double>(change, session->measure(shownSettings, result.penOfPixel, result.penColours));
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
