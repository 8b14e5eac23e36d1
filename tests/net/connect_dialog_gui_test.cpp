// The Qt Connect dialog mirrors the logic: boxes, port-box behaviour, close saving, and the
// wait for a new connection's connect.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "../support/blackhole.h"
#include "../support/fake_ports.h"
#include "gui/connect_dialog.h"
#include "net_fakes.h"

namespace orvel::gui {
namespace {

struct DialogRig {
    view::AppState state;
    test::FakeTree tree;
    test::FakeMenus menus;
    test::FakeMessageBox box;
    test::FakeSiteConfig config{state};
    test::FakePanes panes;
    test::FakeUiChannel channel;
    net::NetSession session{state, net::NetPorts{tree, menus, box, channel, config, panes}};
    net::ConnectDialogLogic logic{session, state, config, box};
};

template <typename T>
T* child(QWidget& w, int id) {
    return w.findChild<T*>(QString::number(id));
}

TEST(ConnectDialogGui, BoxesPortsAndClose) {
    DialogRig rig;
    rig.config.recent = {"192.168.1.20", "dvr.example"};
    rig.config.user = "guard";
    ConnectDialog dialog(rig.logic, nullptr);
    EXPECT_EQ(dialog.pos(), QPoint(300, 250));
    auto* address = child<QComboBox>(dialog, 1105);
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->count(), 2);
    EXPECT_EQ(address->currentText(), "192.168.1.20");
    EXPECT_EQ(child<QLineEdit>(dialog, 1054)->text(), "guard");
    auto* p1 = child<QLineEdit>(dialog, 1048);
    auto* p2 = child<QLineEdit>(dialog, 1049);
    auto* p3 = child<QLineEdit>(dialog, 1050);
    EXPECT_EQ(p1->text(), "9000");
    EXPECT_EQ(p3->text(), "9002");
    EXPECT_FALSE(p1->isEnabled());
    child<QCheckBox>(dialog, 1163)->setChecked(true);
    EXPECT_TRUE(p1->isEnabled());
    EXPECT_FALSE(p2->isEnabled());
    p1->setText("");
    p1->insert("7100");  // as typed: emits textEdited
    EXPECT_EQ(p2->text(), "7101");
    EXPECT_EQ(p3->text(), "7102");
    child<QCheckBox>(dialog, 1163)->setChecked(false);
    EXPECT_FALSE(p1->isEnabled());

    child<QLineEdit>(dialog, 1109)->setText("pw");
    dialog.press_close();
    EXPECT_EQ(dialog.closed_by(), 1055);
    ASSERT_EQ(rig.config.saved.size(), 1u);
    EXPECT_EQ(rig.config.saved[0], (std::pair<std::string, std::string>{"pw", "192.168.1.20"}));
    EXPECT_TRUE(rig.config.ports_written.empty());
}

TEST(ConnectDialogGui, WaitsForANewConnectionWithItsConnectButtonDisabled) {
    test::Blackhole hole;
    ASSERT_NE(hole.port(), 0);
    DialogRig rig;
    rig.session.set_connect_timeout_ms(60000);
    ConnectDialog dialog(rig.logic, nullptr);
    child<QComboBox>(dialog, 1105)->setEditText("127.0.0.1");
    child<QCheckBox>(dialog, 1163)->setChecked(true);
    child<QLineEdit>(dialog, 1048)->setText(QString::number(hole.port()));
    auto* connect = child<QPushButton>(dialog, 1076);
    dialog.press_connect();
    // The connect runs on its own thread: the dialog is still open, its button disabled.
    EXPECT_EQ(dialog.closed_by(), 0);
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_TRUE(rig.config.saved.empty());
    // The operator gives up: the dialog closes and saves its settings once.
    dialog.press_close();
    EXPECT_EQ(dialog.closed_by(), 1055);
    EXPECT_EQ(rig.config.saved.size(), 1u);
    EXPECT_FALSE(rig.logic.waiting());
}

}  // namespace
}  // namespace orvel::gui

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
