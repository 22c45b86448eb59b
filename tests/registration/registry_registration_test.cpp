// SPDX-License-Identifier: GPL-3.0-or-later
// The registry registration over a registry kept in memory (the same code drives the Win32
// registry), the start-up check and the two commands, on every platform.
#include "core/registration/registry_registration.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "core/cli/registration_commands.h"
#include "core/common/exit_codes.h"
#include "core/registration/registration_texts.h"
#include "core/window/scripted_services.h"

namespace veltrane {
namespace {

using window::InMemoryRegistration;

// Keys as paths of names; a key exists while it or one of its subkeys holds a value.
class MemoryRegistry : public RegistryStore {
public:
    std::map<std::string, std::string> values;
    std::vector<std::string> writes;  // keys in the order they were written
    std::string failingKey;           // creating this key fails
    bool denyDeletion = false;

    bool OpenWithFullAccess(const std::string& key) override {
        for (const auto& [name, value] : values)
            if (name == key || name.rfind(key + "\\", 0) == 0) return true;
        return false;
    }
    std::optional<std::string> ReadDefaultValue(const std::string& key) override {
        const auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void WriteDefaultValue(const std::string& key, const std::string& value) override {
        if (key == failingKey) throw RegistrationError("Failed to create key " + key);
        values[key] = value;
        writes.push_back(key);
    }
    void DeleteTree(const std::string& key) override {
        if (denyDeletion) return;
        std::erase_if(values, [&](const auto& item) {
            return item.first == key || item.first.rfind(key + "\\", 0) == 0;
        });
    }
};

class ARegistryRegistration : public ::testing::Test {
protected:
    ARegistryRegistration() : registration(std::make_unique<MemoryRegistry>()) {}
    MemoryRegistry& Registry() { return static_cast<MemoryRegistry&>(registration.Store()); }

    RegistryRegistration registration;
    const std::string program = "C:\\Tools\\veltrane.exe";
};

TEST_F(ARegistryRegistration, WritesTheSixKeysInOrder) {
    registration.Register(program, "even");
    std::vector<std::string> keys;
    for (const RegistryEntry& entry : RegistryEntries(program, "even")) keys.push_back(entry.Key);
    EXPECT_EQ(Registry().writes, keys);
    EXPECT_EQ(Registry().values[std::string(kCommandKey)],
              "\"C:\\Tools\\veltrane.exe\" \"%1\" even");
    EXPECT_TRUE(registration.IsRegistered());
    EXPECT_EQ(registration.RegisteredModeWord(), "even");
}

TEST_F(ARegistryRegistration, WritesOnlyTheValuesThatChanged) {
    registration.Register(program, "odd");
    Registry().writes.clear();
    registration.Register(program, "odd");
    EXPECT_TRUE(Registry().writes.empty());

    registration.Register("D:\\Moved\\veltrane.exe", "odd");
    EXPECT_EQ(Registry().writes,
              (std::vector<std::string>{"MPO (Multi Picture Object)\\DefaultIcon",
                                        std::string(kCommandKey)}));
}

TEST_F(ARegistryRegistration, UnregisteringLeavesTheExtensionKey) {
    registration.Register(program, "");
    registration.Unregister();
    EXPECT_FALSE(registration.IsRegistered());
    EXPECT_EQ(Registry().values,
              (std::map<std::string, std::string>{{".mpo", "MPO (Multi Picture Object)"}}));
    EXPECT_EQ(registration.RegisteredModeWord(), "");
}

TEST_F(ARegistryRegistration, StopsAtTheFirstKeyThatCannotBeCreated) {
    Registry().failingKey = "MPO (Multi Picture Object)\\Shell";
    try {
        registration.Register(program, "");
        FAIL() << "no error raised";
    } catch (const RegistrationError& e) {
        EXPECT_STREQ(e.what(), "Failed to create key MPO (Multi Picture Object)\\Shell");
    }
    EXPECT_EQ(Registry().writes.size(), 3u);
}

TEST_F(ARegistryRegistration, RefusesAnUnknownModeWord) {
    EXPECT_THROW(registration.Register(program, "all"), RegistrationError);
    EXPECT_TRUE(Registry().writes.empty());
}

TEST(RefreshRegistration, RewritesAnExistingRegistrationForTheCurrentPathKeepingItsMode) {
    InMemoryRegistration registration("/old/veltrane", "odd");
    EXPECT_TRUE(RefreshRegistration(registration, "/new/veltrane"));
    EXPECT_EQ(registration.ProgramPath, "/new/veltrane");
    EXPECT_EQ(registration.ModeWord, "odd");
    EXPECT_EQ(registration.Writes, 1);
}

TEST(RefreshRegistration, WritesNothingWhenTheRegistrationIsAlreadyRight) {
    InMemoryRegistration registration("/usr/bin/veltrane", "even");
    EXPECT_TRUE(RefreshRegistration(registration, "/usr/bin/veltrane"));
    EXPECT_EQ(registration.Writes, 0);
}

TEST(RefreshRegistration, LeavesAMissingRegistrationMissing) {
    InMemoryRegistration registration;
    EXPECT_FALSE(RefreshRegistration(registration, "/usr/bin/veltrane"));
    EXPECT_EQ(registration.RegisterCalls, 0);
    EXPECT_FALSE(registration.Registered);
}

TEST(RefreshRegistration, KeepsTheEntryWhenTheProgramCannotTellItsPath) {
    InMemoryRegistration registration("/usr/bin/veltrane", "odd");
    EXPECT_TRUE(RefreshRegistration(registration, ""));
    EXPECT_EQ(registration.RegisterCalls, 0);
    EXPECT_EQ(registration.ProgramPath, "/usr/bin/veltrane");
}

TEST(RefreshRegistration, ReportsAFailedRewrite) {
    InMemoryRegistration registration("/old/veltrane", "");
    registration.FailureMessage = "Failed to create key .mpo";
    EXPECT_THROW(RefreshRegistration(registration, "/new/veltrane"), RegistrationError);
}

struct CommandRun {
    int status;
    std::string out;
    std::string err;
};

CommandRun Register(ContextMenuRegistration& registration, const std::vector<std::string>& args,
                    const std::string& program = "/usr/bin/veltrane") {
    std::ostringstream out, err;
    const int status = RunRegisterCommandOn(registration, args, out, err, program);
    return {status, out.str(), err.str()};
}

CommandRun Unregister(ContextMenuRegistration& registration, const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunUnregisterCommandOn(registration, args, out, err);
    return {status, out.str(), err.str()};
}

TEST(RegisterCommand, TakesOddEvenOrNoWord) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* mode;
    };
    const Case cases[] = {
        {{}, kExitOk, ""},         {{"odd"}, kExitOk, "odd"}, {{"EVEN"}, kExitOk, "even"},
        {{"all"}, kExitUsage, ""}, {{""}, kExitUsage, ""},    {{"odd", "even"}, kExitUsage, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        InMemoryRegistration registration;
        const CommandRun run = Register(registration, c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(registration.Registered, c.status == kExitOk);
        EXPECT_EQ(registration.ModeWord, c.mode);
        EXPECT_EQ(run.out.empty(), c.status != kExitOk);
        EXPECT_EQ(run.err.empty(), c.status == kExitOk);
    }
}

TEST(RegisterCommand, SaysWhatItRegisteredOnOneLine) {
    InMemoryRegistration registration;
    EXPECT_EQ(Register(registration, {"odd"}).out,
              "Registered \"Extract Images\" for .mpo files (odd images) in memory\n");
    EXPECT_EQ(registration.ProgramPath, "/usr/bin/veltrane");
}

TEST(RegisterCommand, PrintsTheRegistrationErrorAndFails) {
    InMemoryRegistration registration;
    registration.FailureMessage = "Failed to create key .mpo";
    const CommandRun run = Register(registration, {});
    EXPECT_EQ(run.status, kExitFailure);
    EXPECT_EQ(run.err, "veltrane: Failed to create key .mpo\n");
    EXPECT_EQ(run.out, "");
}

TEST(RegisterCommand, RegistersNothingWithoutAProgramPath) {
    InMemoryRegistration registration;
    EXPECT_EQ(Register(registration, {}, "").status, kExitFailure);
    EXPECT_EQ(registration.RegisterCalls, 0);
}

TEST(UnregisterCommand, RemovesTheEntryOrSaysThereWasNone) {
    InMemoryRegistration registration("/usr/bin/veltrane", "");
    CommandRun run = Unregister(registration, {});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.out, "Removed \"Extract Images\" for .mpo files from memory\n");
    EXPECT_FALSE(registration.Registered);

    run = Unregister(registration, {});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(
        run.out,
        "\"Extract Images\" for .mpo files was not registered in memory; nothing to remove\n");
    EXPECT_EQ(Unregister(registration, {"odd"}).status, kExitUsage);
}

TEST(UnregisterCommand, FailsWhenTheEntryStays) {
    class Stubborn : public InMemoryRegistration {
    public:
        using InMemoryRegistration::InMemoryRegistration;
        void Unregister() override {}
    } registration("/usr/bin/veltrane", "");
    const CommandRun run = Unregister(registration, {});
    EXPECT_EQ(run.status, kExitFailure);
    EXPECT_EQ(run.err,
              "veltrane: could not remove \"Extract Images\" for .mpo files from memory\n");
}

}  // namespace
}  // namespace veltrane
