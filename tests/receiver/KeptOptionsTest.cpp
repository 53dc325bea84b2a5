// The kept options without a window: the order of the store's reads and writes, the defaults
// written back at once, and the port chosen by its stored name.

#include "receiver/KeptOptions.h"

#include "tests/receiver/FieldControls.h"
#include "tests/receiver/RecordingWindow.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

// A store of one key that records every call.
struct TRecordingStore final : TOptionStore {
    std::map<std::string, std::string> values; // integers as their decimal text
    std::vector<std::string> calls;
    std::string stringFailure; // when set, every text read fails with it
    bool OpenKey(const std::string& key, bool) override { return Call("open " + key), true; }
    void CloseKey() override { Call("close"); }
    bool ValueExists(const std::string& name) const override { return values.count(name) != 0; }
    int32_t ReadInteger(const std::string& name) const override {
        return Call("read " + name), std::stoi(values.at(name));
    }
    void WriteInteger(const std::string& name, int32_t value) override {
        Call("write " + name + "=" + std::to_string(value));
        values[name] = std::to_string(value);
    }
    std::string ReadString(const std::string& name) const override {
        Call("read " + name);
        if (!stringFailure.empty())
            throw ERegistryException(stringFailure);
        return values.at(name);
    }
    void WriteString(const std::string& name, const std::string& value) override {
        Call("write " + name + "=" + value);
        values[name] = value;
    }
    void Call(const std::string& call) const {
        const_cast<TRecordingStore*>(this)->calls.push_back(call);
    }
};

TEST(KeptOptionsTest, FirstStartWritesEachDefaultBackAsItIsRead) {
    TRecordingStore store;
    TFieldControls controls;
    TRecordingLog log;
    TKeptOptions kept;
    kept.Load(store, controls, log);
    EXPECT_EQ(store.calls, (std::vector<std::string>{
                               "open Software\\VellWriter", "write ComPort=0", "write FullCom=0",
                               "write ComStatus=0", "write ConfLoad=1", "write Freeze=1",
                               "write Startup=0", "write Delay=500", "close"}));
    EXPECT_EQ(controls.chosen, 0);
    EXPECT_EQ(controls.portName, "COM1");
    EXPECT_TRUE(controls.confirm);
    EXPECT_TRUE(log.lines.empty());
}

// The stored name counts over the position; a name the list lacks leaves no port chosen, is
// told, and is written back until another port is chosen.
TEST(KeptOptionsTest, PortIsChosenByItsStoredName) {
    const struct {
        std::string index, name;
        int32_t chosen;
        std::string saved; // ComPortName as written back
    } cases[] = {{"0", "COM2", 1, "COM2"},
                 {"1", "", 1, "COM2"},
                 {"5", "", -1, ""},
                 {"-1", "", -1, ""},
                 {"0", "COM9", -1, "COM9"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index + " " + c.name);
        TRecordingStore store;
        store.values = {{"ComPort", c.index}};
        if (!c.name.empty())
            store.values["ComPortName"] = c.name;
        TFieldControls controls;
        TRecordingLog log;
        TKeptOptions kept;
        kept.Load(store, controls, log);
        EXPECT_EQ(controls.chosen, c.chosen);
        EXPECT_EQ(log.lines.empty(), c.name != "COM9");
        if (c.name == "COM9") {
            EXPECT_EQ(log.Last(), (TRecordingLog::TLine{"Port COM9 not found: the port stays "
                                                        "closed. Choose a port on the "
                                                        "Configuration page...",
                                                        clRed}));
        }
        kept.Save(store, controls);
        EXPECT_EQ(store.calls.end()[-2], "write ComPortName=" + c.saved);
        EXPECT_EQ(store.values["ComPort"], std::to_string(c.chosen));
    }
}

// The name is read after the seven values: one the store cannot read costs the name alone,
// is told, and the position chooses the port.
TEST(KeptOptionsTest, PortNameThatCannotBeReadCostsOnlyTheName) {
    TRecordingStore store;
    store.values = {{"ComPort", "1"},  {"FullCom", "1"},       {"ComStatus", "1"},
                    {"ConfLoad", "0"}, {"Freeze", "0"},        {"Startup", "1"},
                    {"Delay", "250"},  {"ComPortName", "COM1"}};
    store.stringFailure = "Invalid data type for 'ComPortName'";
    TFieldControls controls;
    TRecordingLog log;
    TKeptOptions().Load(store, controls, log);
    EXPECT_EQ(store.calls, (std::vector<std::string>{"open Software\\VellWriter", "read ComPort",
                                                     "read FullCom", "read ComStatus",
                                                     "read ConfLoad", "read Freeze", "read Startup",
                                                     "read Delay", "read ComPortName", "close"}));
    EXPECT_EQ(controls.portName, "COM2");
    EXPECT_TRUE(controls.full && controls.status && controls.startup);
    EXPECT_FALSE(controls.confirm || controls.freeze);
    EXPECT_EQ(controls.delay, 250);
    EXPECT_EQ(log.lines, (std::vector<TRecordingLog::TLine>{
                             {"Invalid data type for 'ComPortName': the port is chosen by its "
                              "position.",
                              clRed}}));
}

} // namespace
