#pragma once
// A command set with its built-ins, a fresh variable list, captured prints and
// a command "Rec" that records the tokens it is called with.
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "support/print_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ConsCmdTest : public ::testing::Test {
protected:
    using Call = std::vector<std::string>;

    void SetUp() override
    {
        cvar_list = new ConfigVariableList;
        cmd_ = new ConsCmd;
        ASSERT_EQ(cmd_->register_builtins(), 1);
        // The client's permissions.
        cmd_->set_permissions(0, 0, 0x200, 0, 0x230);
        ASSERT_EQ(cmd_->add_command("Rec", 7, &ConsCmdTest::record, this, "Rec <anything>", 0), 1);
    }

    void TearDown() override
    {
        delete cmd_;
        for (ConfigVariable* v : linked_) {
            cvar_list->release(v);
        }
        delete cvar_list;
        cvar_list = nullptr;
    }

    ConfigVariable* variable(int type, const char* name, const char* value, uint32_t flags = 0)
    {
        ConfigVariable* const v = cvar_list->link(type, flags, name, value, 1);
        linked_.push_back(v);
        return v;
    }

    void run(const char* text)
    {
        ASSERT_EQ(cmd_->add_text(text), 1);
        cmd_->exec_buffer();
    }

    std::vector<std::string> messages() const
    {
        std::vector<std::string> out;
        for (const PrintCapture::Line& l : prints_.lines()) {
            out.push_back(l.text);
        }
        return out;
    }

    static void record(int id, int argc, const char* const* argv, void* context)
    {
        auto* const self = static_cast<ConsCmdTest*>(context);
        EXPECT_EQ(id, 7);
        self->calls_.emplace_back(argv, argv + argc);
    }

    PrintCapture prints_;
    ConsCmd* cmd_ = nullptr;
    std::vector<Call> calls_;
    std::vector<ConfigVariable*> linked_;
};
