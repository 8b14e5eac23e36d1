// The whole program against a simulated DVR, its configuration in a temporary folder: the base
// of the tests that drive the real main window.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/config.h"
#include "codec/decoder_table.h"
#include "gui/program.h"
#include "gui_test_support.h"
#include "platform/ini_file.h"
#include "scenario.h"
#include "server.h"

namespace orvel::gui::test {

class ProgramFixture : public ::testing::Test {
protected:
    // Starts the simulator with `scenario`; its command port, or 0 (the test has failed).
    int start_server(dvrsim::Scenario scenario) {
        app();
        codec::decoder_table_init();
        std::string error;
        server = std::make_unique<dvrsim::Server>(std::move(scenario));
        EXPECT_TRUE(server->start("127.0.0.1", 0, error)) << error;
        EXPECT_TRUE(dir.isValid());
        return server->command_port();
    }

    // Writes `ini_text` as the program's orvelcam.ini and starts the program on it, message
    // boxes answered at once and recorded in `boxes`. `before_start` may install overrides.
    void start_program(const std::string& ini_text, view::ScreenModeKind mode,
                       const std::function<void()>& before_start = {}) {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        std::ofstream(dir.filePath(QStringLiteral("orvelcam.ini")).toStdString()) << ini_text;
        ini = std::make_unique<platform::IniFile>(platform::IniFile::default_path());
        config = std::make_unique<app::Config>(*ini);
        config->preload(state);
        program = std::make_unique<Program>(state, *config, mode);
        program->messages().set_override([this](const std::string& text, const std::string&,
                                                platform::MessageButtons, platform::MessageIcon) {
            boxes.push_back(text);
            return platform::MessageResult::ok;
        });
        if (before_start) before_start();
        program->start();
    }

    void TearDown() override {
        program.reset();
        server.reset();
        codec::decoder_table_shutdown();
        qunsetenv("XDG_CONFIG_HOME");
    }

    QTemporaryDir dir;
    view::AppState state;
    std::unique_ptr<dvrsim::Server> server;
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<app::Config> config;
    std::unique_ptr<Program> program;
    std::vector<std::string> boxes;
};

}  // namespace orvel::gui::test
