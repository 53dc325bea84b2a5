// How long the program takes to put its window on the screen: from just before the fork that
// starts it to the X server's report that its main window is mapped (MapNotify on the root
// window, which any client may watch), on an X server of its own (Xvfb). The same for the
// minimal Qt window built like the program, starts interleaved. Neither program is changed or
// told it is being measured; the window's title is checked, so the figure is the right one's.
// A fresh user profile; a first, untimed start of each writes the program's default settings
// and warms the file cache, so the timed starts are those of a user who has run it before.
// Beside the wall-clock time, the CPU time the program had spent when its window was mapped.
// Run: build/bench/startup_bench [starts] [other vell-writer...]
// Other builds of the program named after the count are started in the same rounds, so that a
// change is measured against the build before it in one run.

#include "bench/BenchProc.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

// An X server for this run only, on a display number it picks itself.
class TXServer {
public:
    TXServer() {
        int channel[2];
        if (pipe(channel) != 0)
            std::abort();
        m_pid = BenchProc::Start("/usr/bin/Xvfb",
                                 {"-displayfd", std::to_string(channel[1]), "-screen", "0",
                                  "1280x1024x24", "-nolisten", "tcp"},
                                 {}, "/dev/null");
        close(channel[1]);
        char number[16] = {};
        pollfd ready{channel[0], POLLIN, 0};
        if (poll(&ready, 1, 10000) <= 0 || read(channel[0], number, sizeof number - 1) <= 0) {
            std::fprintf(stderr, "Xvfb did not start\n");
            std::exit(1);
        }
        close(channel[0]);
        display = ":" + std::to_string(std::atoi(number));
    }
    TXServer(const TXServer&) = delete; // a copy would stop the server twice
    TXServer& operator=(const TXServer&) = delete;
    ~TXServer() { BenchProc::Stop(m_pid); }
    std::string display;

private:
    pid_t m_pid = -1;
};

// A client that watches the root window for top-level windows being mapped.
class TMapWatch {
public:
    explicit TMapWatch(const std::string& display) {
        m_connection = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection)) {
            std::fprintf(stderr, "cannot connect to %s\n", display.c_str());
            std::exit(1);
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }
    TMapWatch(const TMapWatch&) = delete; // owns the X connection
    TMapWatch& operator=(const TMapWatch&) = delete;
    ~TMapWatch() { xcb_disconnect(m_connection); }

    // The next top-level window mapped within `timeoutMs`, with the time it was reported;
    // 0 when none was.
    xcb_window_t NextMap(int timeoutMs, Clock::time_point& when) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                const auto now = Clock::now();
                const bool map = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
                auto* notify = reinterpret_cast<xcb_map_notify_event_t*>(event);
                const xcb_window_t window = notify->window;
                const bool ordinary = map && !notify->override_redirect;
                std::free(event);
                if (ordinary) {
                    when = now;
                    return window;
                }
            }
            const int left =
                int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                        .count());
            if (left <= 0)
                return 0;
            pollfd source{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            poll(&source, 1, left);
        }
    }

    // Drops whatever has been reported (unmaps and destroys of the last start).
    void Drain() {
        xcb_flush(m_connection);
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
            std::free(event);
    }

    std::string Title(xcb_window_t window) {
        const char name[] = "_NET_WM_NAME";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, sizeof name - 1, name), nullptr);
        std::string title;
        const xcb_atom_t netName = atom != nullptr ? atom->atom : xcb_atom_t(XCB_ATOM_WM_NAME);
        for (const xcb_atom_t property : {netName, xcb_atom_t(XCB_ATOM_WM_NAME)}) {
            xcb_get_property_reply_t* reply =
                xcb_get_property_reply(m_connection,
                                       xcb_get_property(m_connection, 0, window, property,
                                                        XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                       nullptr);
            if (reply != nullptr && xcb_get_property_value_length(reply) > 0)
                title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                             size_t(xcb_get_property_value_length(reply)));
            std::free(reply);
            if (!title.empty())
                break;
        }
        std::free(atom);
        return title;
    }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
};

struct TStart {
    double ms = -1;    // from before the fork to its window's map; -1 when there was none
    double cpuMs = -1; // CPU time of all its threads when the map was reported
};

// One start. The CPU time is read as soon as the map is reported, before the title is asked:
// it is what the program spent to get there whatever else the machine did meanwhile, which
// a loaded machine's wall-clock figure is not.
TStart StartOnce(TMapWatch& watch, const std::string& program, const std::string& title,
                 const std::string& display, const std::string& errors) {
    watch.Drain();
    const auto start = Clock::now();
    const pid_t pid =
        BenchProc::Start(program, {}, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display}}, errors);
    Clock::time_point mapped;
    TStart result;
    for (;;) {
        const xcb_window_t window = watch.NextMap(10000, mapped);
        if (window == 0) {
            std::fprintf(stderr, "%s: no window within 10 s\n", program.c_str());
            break;
        }
        const double cpuMs = double(BenchProc::CpuNanos(pid)) / 1e6;
        if (watch.Title(window) == title) {
            result.ms = std::chrono::duration<double, std::milli>(mapped - start).count();
            result.cpuMs = cpuMs;
            break;
        }
    }
    BenchProc::Stop(pid);
    usleep(100000); // let the server forget the window before the next start
    return result;
}

struct TFigures {
    double median = 0, low = 0, high = 0;
};

TFigures Figures(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

} // namespace

int main(int argc, char** argv) {
    const int starts = argc > 1 ? std::atoi(argv[1]) : 20;
    BenchProc::TProfile profile;
    profile.Use();
    const std::string errors = profile.Home() + "/stderr.txt";
    TXServer server;
    TMapWatch watch(server.display);

    std::vector<std::string> programs = {MINIMAL_WINDOW_PATH, VELL_WRITER_PATH};
    std::vector<std::string> names = {"minimal Qt window (reference)", "vell-writer"};
    for (int arg = 2; arg < argc; ++arg) {
        programs.push_back(argv[arg]);
        names.push_back(argv[arg]);
    }
    std::vector<std::string> titles(programs.size(), "Vell Writer 1.0.1");
    titles[0] = "Minimal window";
    const size_t count = programs.size();
    std::vector<std::vector<double>> times(count), cpu(count);
    for (size_t c = 0; c < count; ++c) // untimed: settings written, files cached
        StartOnce(watch, programs[c], titles[c], server.display, errors);
    for (int i = 0; i < starts; ++i)
        for (size_t c = 0; c < count; ++c) {
            const TStart one = StartOnce(watch, programs[c], titles[c], server.display, errors);
            if (one.ms < 0) {
                std::fprintf(stderr, "start failed; the program's messages:\n");
                std::system(("cat '" + errors + "' >&2").c_str());
                return 1;
            }
            times[c].push_back(one.ms);
            cpu[c].push_back(one.cpuMs);
        }

    std::printf("fork to main window mapped, on Xvfb, %d starts each (interleaved, after one "
                "untimed start); CPU: all threads' time when the map was reported\n",
                starts);
    std::printf("%-32s %10s %10s %10s %10s %10s %10s\n", "", "median ms", "min ms", "max ms",
                "x ref", "CPU ms", "CPU x ref");
    const TFigures ref = Figures(times[0]);
    const TFigures refCpu = Figures(cpu[0]);
    for (size_t c = 0; c < count; ++c) {
        const TFigures f = Figures(times[c]);
        const TFigures fCpu = Figures(cpu[c]);
        std::printf("%-32s %10.1f %10.1f %10.1f %10.2f %10.1f %10.2f\n", names[c].c_str(), f.median,
                    f.low, f.high, f.median / ref.median, fCpu.median, fCpu.median / refCpu.median);
    }
    return 0;
}
