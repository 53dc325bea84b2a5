#pragma once
// Everything a main window needs around it in a test: answered dialogs, a fake transfer
// program, a settings file of its own, and a port list of the test's choosing; and its
// controls, found by the names they carry.

#include "app/SDIAppForm.h"
#include "app/SettingsStore.h"
#include "tests/app/FakeDialogs.h"
#include "tests/support/FakeWindows.h"

#include <QTemporaryDir>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The window's control of that name and type. A control missing or of another type fails the
// test by an exception, which GoogleTest reports, rather than by a null pointer followed.
template <class T> T* Child(const QObject& form, const char* name) {
    T* child = form.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr)
        throw std::logic_error(std::string("the window has no control ") + name + " of that type");
    return child;
}

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
