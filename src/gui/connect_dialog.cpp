#include "gui/connect_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/command_ids.h"

namespace orvel::gui {

namespace cid = net::connect_id;

namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.c_str()); }
std::string s(const QString& t) { return t.toStdString(); }

QLineEdit* make_box(int id, int max_chars, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::number(id));
    box->setMaxLength(max_chars);
    return box;
}

}  // namespace

ConnectDialog::ConnectDialog(net::ConnectDialogLogic& logic, QWidget* owner)
    : QDialog(owner), logic_(logic) {
    setWindowTitle(QStringLiteral("Connect"));
    setObjectName(QString::number(cid::kDialog));

    address_ = new QComboBox(this);
    address_->setObjectName(QString::number(cid::kAddress));
    address_->setEditable(true);
    address_->lineEdit()->setMaxLength(static_cast<int>(net::kDialogAddressChars));
    user_ = make_box(cid::kUser, static_cast<int>(net::kDialogUserChars), this);
    password_ = make_box(cid::kPassword, static_cast<int>(net::kDialogPasswordChars), this);
    password_->setEchoMode(QLineEdit::Password);
    site_name_ = make_box(cid::kSiteName, static_cast<int>(net::kDialogSiteNameChars), this);
    port1_ = make_box(cid::kPort1, static_cast<int>(net::kDialogPortChars), this);
    port2_ = make_box(cid::kPort2, static_cast<int>(net::kDialogPortChars), this);
    port3_ = make_box(cid::kPort3, static_cast<int>(net::kDialogPortChars), this);
    port1_->setValidator(new QIntValidator(0, 9999999, port1_));
    port_check_ = new QCheckBox(QString::fromUtf8("communicate port\xEF\xBC\x9A"), this);
    port_check_->setObjectName(QString::number(cid::kPortCheck));
    save_port_ = new QCheckBox(QStringLiteral("save the port"), this);
    save_port_->setObjectName(QString::number(cid::kSavePort));
    auto* connect_button = new QPushButton(QStringLiteral("connect"), this);
    connect_button->setObjectName(QString::number(cid::kConnect));
    connect_button->setDefault(true);
    connect_button_ = connect_button;
    auto* close_button = new QPushButton(QStringLiteral("close"), this);
    close_button->setObjectName(QString::number(cid::kClose));

    auto* grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("site name"), this), row, 0);
    grid->addWidget(site_name_, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("address"), this), row, 0);
    grid->addWidget(address_, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("user"), this), row, 0);
    grid->addWidget(user_, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("password"), this), row, 0);
    grid->addWidget(password_, row++, 1, 1, 3);
    grid->addWidget(port_check_, row, 0);
    grid->addWidget(port1_, row, 1);
    grid->addWidget(port2_, row, 2);
    grid->addWidget(port3_, row++, 3);
    grid->addWidget(save_port_, row++, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(connect_button);
    buttons->addWidget(close_button);
    grid->addLayout(buttons, row, 0, 1, 4);

    show_model(logic_.open());
    move(net::kDialogX, net::kDialogY);

    QObject::connect(port1_, &QLineEdit::textEdited, this, [this](const QString& text) {
        net::ConnectDialogModel m = model();
        net::ConnectDialogLogic::command_port_edited(m, s(text));
        port2_->setText(q(m.port2));
        port3_->setText(q(m.port3));
    });
    QObject::connect(port_check_, &QCheckBox::toggled, this, [this](bool ticked) {
        net::ConnectDialogModel m = model();
        net::ConnectDialogLogic::port_check_toggled(m, ticked);
        port1_->setEnabled(m.port1_enabled);
        port2_->setEnabled(m.port2_enabled);
        port3_->setEnabled(m.port3_enabled);
    });
    QObject::connect(connect_button, &QPushButton::clicked, this, [this] { press_connect(); });
    QObject::connect(close_button, &QPushButton::clicked, this, [this] { press_close(); });
    logic_.set_result_handler(
        [this](net::ConnectDialogLogic::Outcome outcome) { connect_finished(outcome); });
}

ConnectDialog::~ConnectDialog() { logic_.set_result_handler(nullptr); }

void ConnectDialog::show_model(const net::ConnectDialogModel& m) {
    address_->clear();
    for (const auto& a : m.address_items) address_->addItem(q(a));
    address_->setEditText(q(m.address));
    user_->setText(q(m.user));
    password_->setText(q(m.password));
    site_name_->setText(q(m.site_name));
    port1_->setText(q(m.port1));
    port2_->setText(q(m.port2));
    port3_->setText(q(m.port3));
    port_check_->setChecked(m.port_check);
    save_port_->setChecked(m.save_port);
    port1_->setEnabled(m.port1_enabled);
    port2_->setEnabled(m.port2_enabled);
    port3_->setEnabled(m.port3_enabled);
}

net::ConnectDialogModel ConnectDialog::model() const {
    net::ConnectDialogModel m;
    for (int i = 0; i < address_->count(); ++i) m.address_items.push_back(s(address_->itemText(i)));
    m.address = s(address_->currentText());
    m.user = s(user_->text());
    m.password = s(password_->text());
    m.site_name = s(site_name_->text());
    m.port1 = s(port1_->text());
    m.port2 = s(port2_->text());
    m.port3 = s(port3_->text());
    m.port_check = port_check_->isChecked();
    m.save_port = save_port_->isChecked();
    m.port1_enabled = port1_->isEnabled();
    m.port2_enabled = port2_->isEnabled();
    m.port3_enabled = port3_->isEnabled();
    return m;
}

void ConnectDialog::press_connect() {
    if (logic_.waiting()) return;
    net::ConnectDialogModel m = model();
    const auto outcome = logic_.connect(m);
    save_port_->setChecked(m.save_port);
    if (outcome == net::ConnectDialogLogic::Outcome::kConnecting) {
        connect_button_->setEnabled(false);
        return;
    }
    connect_finished(outcome);
}

void ConnectDialog::connect_finished(net::ConnectDialogLogic::Outcome outcome) {
    connect_button_->setEnabled(true);
    if (outcome != net::ConnectDialogLogic::Outcome::kClose) return;
    settings_saved_ = true;  // saved by the connect itself
    closed_by_ = cid::kConnect;
    done(cid::kConnect);
}

void ConnectDialog::press_close() {
    if (!settings_saved_) logic_.close(model());
    settings_saved_ = true;
    closed_by_ = cid::kClose;
    done(cid::kClose);
}

void ConnectDialog::reject() { press_close(); }

void ConnectDialog::closeEvent(QCloseEvent* event) {
    if (!settings_saved_) logic_.close(model());
    settings_saved_ = true;
    closed_by_ = cid::kClose;
    event->accept();
    QDialog::closeEvent(event);
}

int run_connect_dialog(net::ConnectDialogLogic& logic, QWidget* owner) {
    ConnectDialog dialog(logic, owner);
    dialog.exec();
    return dialog.closed_by() ? dialog.closed_by() : cid::kClose;
}

void wire_connect_button(app::CommandDispatcher& dispatcher, platform::MainControlsPort& controls,
                         net::ConnectDialogLogic& logic, QWidget* owner) {
    constexpr int kFacePressed = 265;
    constexpr int kFaceNormal = 264;
    dispatcher.set_handler(app::id::kConnect, [&controls, &logic, owner](int) {
        controls.set_face(app::id::kConnect, kFacePressed);
        run_connect_dialog(logic, owner);
        controls.set_face(app::id::kConnect, kFaceNormal);
    });
}

}  // namespace orvel::gui
