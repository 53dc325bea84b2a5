#pragma once
// A folder of the test's own in the system's temporary folder, removed with all it holds at
// the end. Paths are UTF-8. Plain C++: the Windows builds of the tests use it too.

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace TestSupport {

class TTempFolder {
public:
    TTempFolder() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            auto path = std::filesystem::temp_directory_path() /
                        ("vell-test-" + std::to_string(random()) + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(path, ec))
                m_path = std::move(path);
        }
        if (m_path.empty())
            throw std::runtime_error("cannot make a temporary folder");
    }
    ~TTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    std::string Path() const { return Utf8(m_path); }
    // A name in the folder.
    std::string Path(const std::string& name) const {
        return Utf8(m_path / std::filesystem::u8path(name));
    }

private:
    static std::string Utf8(const std::filesystem::path& path) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

    std::filesystem::path m_path;
};

} // namespace TestSupport
