#include "app/config.h"

#include <gtest/gtest.h>

#include <memory>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "app/strings.h"
#include "view/fixed_text.h"

namespace orvel::app {
namespace {

using view::text_of;

struct ConfigFixture : ::testing::Test {
    test::TempDir dir;
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<Config> config;
    std::unique_ptr<view::AppState> state = std::make_unique<view::AppState>();

    void open(std::string_view text) {
        ini = std::make_unique<platform::IniFile>(dir.write("orvelcam.ini", text));
        config = std::make_unique<Config>(*ini);
    }
    std::string raw() const { return test::TempDir::read(ini->path()); }
};

TEST_F(ConfigFixture, EmptyFileGivesEveryDefault) {
    open("");
    EXPECT_EQ(config->load_sites(*state), 0);
    config->load_default(*state);
    EXPECT_EQ(text_of(state->default_address), "");
    EXPECT_EQ(state->default_port, 0);
    EXPECT_FALSE(config->display_is_gdi());
    EXPECT_EQ(config->display_value(), "DIRECTDRAW");
    EXPECT_TRUE(config->autoplay());
    EXPECT_TRUE(config->gpu_supported());
    EXPECT_EQ(config->record_disk(), "C");
    EXPECT_EQ(config->snapshot_root(), "E:\\");
    EXPECT_EQ(config->mode(), 2);
    EXPECT_EQ(config->network_user(), "");
    EXPECT_EQ(config->dynamic_address_mode(), 0);
    const view::SiteEntry site = config->read_site(0);
    EXPECT_EQ(site.port1, 9000);
    EXPECT_EQ(site.port2, 9001);
    EXPECT_EQ(site.port3, 9002);
}

TEST_F(ConfigFixture, OnlyExactGdiAndExactFalseSwitchDefaultsOff) {
    open("[PLAY]\nDISPLAY=gdi\nAUTOPLAY=false\nDIRECTDRAWSUPPORT=False\n");
    EXPECT_FALSE(config->display_is_gdi());
    EXPECT_TRUE(config->autoplay());
    EXPECT_TRUE(config->gpu_supported());
    open("[PLAY]\nDISPLAY=GDI\nAUTOPLAY=FALSE\nDIRECTDRAWSUPPORT=FALSE\n");
    EXPECT_TRUE(config->display_is_gdi());
    EXPECT_FALSE(config->autoplay());
    EXPECT_FALSE(config->gpu_supported());
    config->set_display(false);
    config->set_autoplay(true);
    EXPECT_EQ(ini->get_string("PLAY", "DISPLAY", "", 32), "DIRECTDRAW");
    EXPECT_EQ(ini->get_string("PLAY", "AUTOPLAY", "", 32), "TRUE");
}

TEST_F(ConfigFixture, SitesLoadWithSizesAndDefaults) {
    open(
        "[LOCATION]\nnum=2\npos0=Depot\nip0=10.0.0.5\nuser0=admin\nps0=secret\nport10=7000\n"
        "port20=7001\nport30=7002\npos1="
        "ThisNameIsLongerThanSixtyThreeCharactersSoItMustBeCutAtExactlyThatLen\n"
        "ip1=dvr.example\n");
    ASSERT_EQ(config->load_sites(*state), 2);
    EXPECT_EQ(text_of(state->sites[0].name), "Depot");
    EXPECT_EQ(text_of(state->sites[0].ip), "10.0.0.5");
    EXPECT_EQ(text_of(state->sites[0].user), "admin");
    EXPECT_EQ(text_of(state->sites[0].password), "secret");
    EXPECT_EQ(state->sites[0].port1, 7000);
    EXPECT_EQ(state->sites[0].port3, 7002);
    EXPECT_EQ(text_of(state->sites[1].name).size(), 63u);
    EXPECT_EQ(state->sites[1].port1, 9000);
    EXPECT_EQ(state->sites[1].port2, 9001);
}

TEST_F(ConfigFixture, CountAbove128ReadsTheFirst128AndNegativeReadsNone) {
    std::string text = "[LOCATION]\nnum=200\n";
    for (int i = 0; i < 130; ++i)
        text += "pos" + std::to_string(i) + "=s" + std::to_string(i) + "\n";
    open(text);
    EXPECT_EQ(config->load_sites(*state), 128);
    EXPECT_EQ(text_of(state->sites[127].name), "s127");
    open("[LOCATION]\nnum=-3\npos0=x\n");
    EXPECT_EQ(config->load_sites(*state), 0);
}

TEST_F(ConfigFixture, AddSiteAppendsAndAFullListWarnsClearly) {
    open("");
    test::FakeMessageBox messages;
    view::SiteEntry site;
    view::set_text(site.name, "North");
    view::set_text(site.ip, "192.168.1.9");
    site.port1 = 9100;
    site.port2 = 9101;
    site.port3 = 9102;
    ASSERT_TRUE(config->add_site(*state, site, messages));
    EXPECT_EQ(ini->get_int("LOCATION", "num", -1), 1);
    EXPECT_EQ(ini->get_string("LOCATION", "pos0", "", 64), "North");
    EXPECT_EQ(ini->get_string("LOCATION", "port10", "", 64), "9100");

    state->site_count = 128;
    EXPECT_FALSE(config->add_site(*state, site, messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, "warning");
    EXPECT_FALSE(messages.shown[0].text.empty());
    EXPECT_EQ(state->site_count, 128);
    EXPECT_EQ(ini->get_int("LOCATION", "num", -1), 1);
}

TEST_F(ConfigFixture, DeletingSiteZeroOfThreeRewritesTwoIndicesAndKeepsTheThird) {
    open(
        "[LOCATION]\nnum=3\npos0=A\nip0=1.1.1.1\npos1=B\nip1=2.2.2.2\nport11=9200\n"
        "pos2=C\nip2=3.3.3.3\nport12=9300\n");
    config->load_sites(*state);
    ASSERT_TRUE(config->delete_site(*state, "A"));
    EXPECT_EQ(state->site_count, 2);
    EXPECT_EQ(ini->get_int("LOCATION", "num", -1), 2);
    EXPECT_EQ(ini->get_string("LOCATION", "pos0", "", 64), "B");
    EXPECT_EQ(ini->get_int("LOCATION", "port10", 0), 9200);
    EXPECT_EQ(ini->get_string("LOCATION", "pos1", "", 64), "C");
    EXPECT_EQ(ini->get_string("LOCATION", "ip1", "", 64), "3.3.3.3");
    // Index 2's keys stay in the file beyond num.
    EXPECT_EQ(ini->get_string("LOCATION", "pos2", "", 64), "C");
    EXPECT_EQ(ini->get_int("LOCATION", "port12", 0), 9300);
    EXPECT_FALSE(config->delete_site(*state, "A"));
}

TEST_F(ConfigFixture, RecentAddressesRotate) {
    open("[NETWORK]\nip0=a0\nip1=a1\nip2=a2\nip3=a3\nip4=a4\nip5=a5\nip6=a6\nip7=a7\n");
    config->remember_address("a3");
    auto r = config->recent_addresses();
    const std::array<std::string, 8> moved{"a3", "a0", "a1", "a2", "a4", "a5", "a6", "a7"};
    EXPECT_EQ(r, moved);
    config->remember_address("new");
    r = config->recent_addresses();
    const std::array<std::string, 8> pushed{"new", "a3", "a0", "a1", "a2", "a4", "a5", "a6"};
    EXPECT_EQ(r, pushed);
    config->remember_address("");
    EXPECT_EQ(config->recent_addresses(), pushed);
}

TEST_F(ConfigFixture, DefaultConnectionTogglesFromTheSiteText) {
    open("");
    config->toggle_default_connection(*state, false, "Depot (west)(10.1.2.3)", 9100);
    EXPECT_EQ(ini->get_string("DEFAULT", "ip", "", 128), "10.1.2.3");
    EXPECT_EQ(ini->get_int("DEFAULT", "port", 0), 9100);
    EXPECT_EQ(text_of(state->default_address), "10.1.2.3");
    EXPECT_EQ(state->default_port, 9100);
    config->toggle_default_connection(*state, true, "Depot (west)(10.1.2.3)", 9100);
    EXPECT_EQ(ini->get_string("DEFAULT", "ip", "x", 128), "");
    EXPECT_EQ(ini->get_int("DEFAULT", "port", 5), 0);
    EXPECT_EQ(state->default_port, 0);
    EXPECT_EQ(text_of(state->default_address), "");
}

TEST_F(ConfigFixture, PreloadFillsSiteRecordsAndPaneSources) {
    open(
        "[IP0]\nip=10.0.0.1\ndevice=4\nswitch=2\n[IP35]\nip=10.0.0.35\ndevice=70000\n"
        "[SRC]\nip0=10.0.0.1\nid0=3\nip35=host-with-a-long-name.example\nid35=7\n");
    config->preload(*state);
    EXPECT_EQ(text_of(state->site_preload[0].address), "10.0.0.1");
    EXPECT_EQ(state->site_preload[0].device, 4);
    EXPECT_EQ(state->site_preload[0].switch_count, 2);
    EXPECT_EQ(state->site_preload[35].device, static_cast<std::int16_t>(70000));
    EXPECT_EQ(state->site_preload[1].device, 0);
    EXPECT_EQ(text_of(state->pane_sources[0].address), "10.0.0.1");
    EXPECT_EQ(state->pane_sources[0].channel, 3);
    EXPECT_EQ(text_of(state->pane_sources[35].address), "host-with-a-long-na");  // 20 - 1
    EXPECT_EQ(state->pane_sources[35].channel, 7);
}

TEST(SiteText, AddressAndNameSplitAtTheLastParenthesis) {
    EXPECT_EQ(site_text_address("Yard(192.168.0.7)"), "192.168.0.7");
    EXPECT_EQ(site_text_name("Yard(192.168.0.7)"), "Yard");
    EXPECT_EQ(site_text_address("A (b)(host)"), "host");
    EXPECT_EQ(site_text_name("A (b)(host)"), "A (b)");
    EXPECT_EQ(site_text_address("noparen"), "");
    EXPECT_EQ(site_text_name("noparen"), "noparen");
    EXPECT_EQ(site_text_address("x("), "");
}

}  // namespace
}  // namespace orvel::app
