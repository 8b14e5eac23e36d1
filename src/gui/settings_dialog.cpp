#include "gui/settings_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/command_ids.h"

namespace orvel::gui {

namespace sid = app::settings_id;

namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.c_str()); }

QLineEdit* read_only_box(int id, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::number(id));
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

QString choose_with_dialog(QWidget* parent, char letter, QString current) {
    return QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Folder of %1:").arg(QChar::fromLatin1(letter)), current);
}

}  // namespace

SettingsDialog::SettingsDialog(app::SettingsModel initial, QWidget* owner, FolderChooser chooser)
    : QDialog(owner), model_(std::move(initial)), chooser_(std::move(chooser)) {
    if (!chooser_) chooser_ = choose_with_dialog;
    setObjectName(QStringLiteral("389"));
    setWindowTitle(QString::fromUtf8(app::kSettingsTitle));

    // Recording disk: one row per letter.
    auto* disks = new QGroupBox(QStringLiteral("file path"), this);
    auto* grid = new QGridLayout(disks);
    auto* disk_group = new QButtonGroup(this);
    for (int i = 0; i < app::kDiskCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const char letter = static_cast<char>(app::kFirstDisk + i);
        disk_[at] = new QRadioButton(QStringLiteral("%1:").arg(QChar::fromLatin1(letter)), disks);
        disk_[at]->setObjectName(QString::number(sid::kDiskFirst + i));
        disk_group->addButton(disk_[at], i);
        capacity_[at] = read_only_box(sid::kCapacityFirst + i, disks);
        remain_[at] = read_only_box(sid::kRemainFirst + i, disks);
        folder_[at] = new QToolButton(disks);
        folder_[at]->setText(QStringLiteral("..."));
        folder_[at]->setObjectName(QStringLiteral("folder_%1").arg(QChar::fromLatin1(letter)));
        connect(folder_[at], &QToolButton::clicked, this, [this, i] { choose_folder(i); });
        connect(disk_[at], &QRadioButton::toggled, this, [this, letter](bool on) {
            if (on) path_->setText(q(app::record_folder_text(letter)));
        });
        grid->addWidget(disk_[at], i, 0);
        grid->addWidget(new QLabel(QString::fromUtf8("capacity\xEF\xBC\x9A"), disks), i, 1);
        grid->addWidget(capacity_[at], i, 2);
        grid->addWidget(new QLabel(QString::fromUtf8("remain\xEF\xBC\x9A"), disks), i, 3);
        grid->addWidget(remain_[at], i, 4);
        grid->addWidget(folder_[at], i, 5);
    }
    path_ = read_only_box(sid::kFilePath, disks);
    grid->addWidget(new QLabel(QString::fromUtf8("file path\xEF\xBC\x9A"), disks), app::kDiskCount,
                    0, 1, 2);
    grid->addWidget(path_, app::kDiskCount, 2, 1, 4);

    autoplay_ = new QCheckBox(
        QString::fromUtf8("play automatically\xEF\xBC\x88if choose this option,when connect this "
                          "DVR,will play auto\xEF\xBC\x89"),
        this);
    autoplay_->setObjectName(QString::number(sid::kAutoPlay));

    auto* display = new QGroupBox(QStringLiteral("display mode"), this);
    auto* display_rows = new QVBoxLayout(display);
    gpu_ = new QRadioButton(QStringLiteral("Direct3D(distinct frames, default)"), display);
    gpu_->setObjectName(QString::number(sid::kDisplayGpu));
    gdi_ = new QRadioButton(
        QStringLiteral("GDI Display(if your computer not support D3D,please choose this option)"),
        display);
    gdi_->setObjectName(QString::number(sid::kDisplayGdi));
    display_rows->addWidget(gpu_);
    display_rows->addWidget(gdi_);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QString::number(sid::kOk));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("CANCLE"), this);
    cancel->setObjectName(QString::number(sid::kCancel));
    connect(ok, &QPushButton::clicked, this, [this] {
        model_ = model();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QString::fromUtf8(app::kSettingsVersion), this));
    bottom->addStretch(1);
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    auto* rows = new QVBoxLayout(this);
    rows->addWidget(disks);
    rows->addWidget(autoplay_);
    rows->addWidget(display);
    rows->addLayout(bottom);

    // What the configuration says.
    for (int i = 0; i < app::kDiskCount; ++i) show_disk(i);
    if (model_.checked_disk != 0) {
        const int i = model_.checked_disk - app::kFirstDisk;
        // Checked even when the letter is not available (it then stays disabled).
        disk_[static_cast<std::size_t>(i)]->setChecked(true);
    }
    const char shown = model_.checked_disk != 0 ? model_.checked_disk : app::kFirstDisk;
    path_->setText(q(app::record_folder_text(shown)));
    autoplay_->setChecked(model_.autoplay);
    gpu_->setEnabled(model_.gpu_offered);
    (model_.display_gdi ? gdi_ : gpu_)->setChecked(true);
}

void SettingsDialog::show_disk(int index) {
    const auto at = static_cast<std::size_t>(index);
    const app::SettingsDisk& d = model_.disks[at];
    disk_[at]->setEnabled(d.available);
    capacity_[at]->setEnabled(d.available);
    remain_[at]->setEnabled(d.available);
    capacity_[at]->setText(q(d.capacity));
    remain_[at]->setText(q(d.remain));
    folder_[at]->setToolTip(d.root.empty() ? QStringLiteral("Choose the folder that %1: stands for")
                                                 .arg(QChar::fromLatin1(d.letter))
                                           : QStringLiteral("%1: is %2")
                                                 .arg(QChar::fromLatin1(d.letter))
                                                 .arg(QString::fromStdString(d.root.string())));
}

void SettingsDialog::choose_folder(int index) {
    const auto at = static_cast<std::size_t>(index);
    app::SettingsDisk& d = model_.disks[at];
    const QString folder = chooser_(this, d.letter, QString::fromStdString(d.root.string()));
    if (folder.isEmpty()) return;
    app::map_disk(d, folder.toStdString());
    show_disk(index);
}

app::SettingsModel SettingsDialog::model() const {
    app::SettingsModel m = model_;
    // The first checked button among C to H (none: the logic takes H).
    m.checked_disk = 0;
    for (int i = 0; i < app::kDiskCount; ++i)
        if (disk_[static_cast<std::size_t>(i)]->isChecked()) {
            m.checked_disk = static_cast<char>(app::kFirstDisk + i);
            break;
        }
    m.autoplay = autoplay_->isChecked();
    m.display_gdi = gdi_->isChecked();
    return m;
}

QWidget* SettingsDialog::control(int id) const { return findChild<QWidget*>(QString::number(id)); }

QToolButton* SettingsDialog::folder_button(char letter) const {
    const int i = letter - app::kFirstDisk;
    return i >= 0 && i < app::kDiskCount ? folder_[static_cast<std::size_t>(i)] : nullptr;
}

void wire_settings_button(app::CommandDispatcher& dispatcher, platform::MainControlsPort& controls,
                          app::Config& config, platform::UiMessageChannel& main_window,
                          QWidget* owner, SettingsDialog::FolderChooser chooser) {
    dispatcher.set_handler(app::id::kSettings, [&controls, &config, &main_window, owner,
                                                chooser = std::move(chooser)](int) {
        controls.set_face(app::id::kSettings, app::bitmap::kSettingsPressed);
        const platform::DriveMap drives(config.ini());
        SettingsDialog dialog(app::load_settings(config, drives), owner, chooser);
        if (dialog.exec() == QDialog::Accepted)
            app::accept_settings(config, dialog.model(), main_window);
        controls.set_face(app::id::kSettings, app::bitmap::kSettingsNormal);
    });
}

}  // namespace orvel::gui
