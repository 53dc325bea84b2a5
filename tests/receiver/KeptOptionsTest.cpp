// The kept options without a window: the order of the store's reads and writes, the defaults
// written back at once, and the port chosen by its stored name.

#include "receiver/KeptOptions.h"

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
        return Call("read " + name), values.at(name);
    }
    void WriteString(const std::string& name, const std::string& value) override {
        Call("write " + name + "=" + value);
        values[name] = value;
    }
    void Call(const std::string& call) const {
        const_cast<TRecordingStore*>(this)->calls.push_back(call);
    }
};

// The controls as plain fields; the port list holds COM1 and COM2.
struct TFieldControls final : TOptionControls {
    bool full = false, status = false, confirm = false, freeze = true, startup = false;
    int32_t delay = 500, chosen = -1;
    std::string portName; // what the port was told to use
    std::vector<std::string> ports{"COM1", "COM2"};
    bool ShowFullCommunicationBox() const override { return full; }
    bool ShowComStatusBox() const override { return status; }
    bool ConfirmDataLoadingBox() const override { return confirm; }
    bool AlwaysFreezeBox() const override { return freeze; }
    bool OpenAtStartupBox() const override { return startup; }
    int32_t CommandDelayBox() const override { return delay; }
    void SetShowFullCommunicationBox(bool on) override { full = on; }
    void SetShowComStatusBox(bool on) override { status = on; }
    void SetConfirmDataLoadingBox(bool on) override { confirm = on; }
    void SetAlwaysFreezeBox(bool on) override { freeze = on; }
    void SetOpenAtStartupBox(bool on) override { startup = on; }
    void SetCommandDelayBox(int32_t milliseconds) override { delay = milliseconds; }
    int32_t PortCount() const override { return int32_t(ports.size()); }
    int32_t FindPort(const std::string& name) const override {
        for (size_t i = 0; i < ports.size(); ++i)
            if (ports[i] == name)
                return int32_t(i);
        return -1;
    }
    int32_t ChosenPort() const override { return chosen; }
    std::string ChosenPortName() const override { return chosen >= 0 ? ports[size_t(chosen)] : ""; }
    void ChoosePort(int32_t index) override { chosen = index; }
    void UsePortChoice() override { portName = ChosenPortName(); }
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

} // namespace
