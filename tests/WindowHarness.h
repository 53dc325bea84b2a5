#pragma once
// Everything a main window needs around it in a test: answered dialogs, a fake transfer
// program, a settings file of its own, and a port list of the test's choosing.

#include "FakeDialogs.h"
#include "FakeWindows.h"
#include "SDIAppForm.h"
#include "SettingsStore.h"

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

struct TWindowHarness {
    explicit TWindowHarness(std::vector<std::string> ports = {"COM1", "COM2"})
        : store(folder.filePath(QStringLiteral("VellWriter.conf"))),
          services{dialogs, store, windows,
                   [ports](std::vector<std::string>& list) { list = ports; }} {}

    std::unique_ptr<TSDIAppForm> Build() { return std::make_unique<TSDIAppForm>(services); }

    QTemporaryDir folder;
    TFakeDialogs dialogs;
    TFakeWindows windows;
    TSettingsStore store;
    TServices services;
};
