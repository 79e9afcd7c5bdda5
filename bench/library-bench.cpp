// The program library with a large user folder (5,000 programs in one folder, 20 small folders
// beside it) in a temporary application-data folder:
//   LibraryScan          the worker's scan of the user programs (folder listing and list filling).
//   LibraryPageScroll    our own part of an editor frame on the Library page while the wheel scrolls
//                        the 5,000 programs by three rows every frame (header and page built into the
//                        draw list, flushed into a renderer that discards the batches), under a private
//                        Xvfb so that the font maps are real.
// Run: cmake --build build --target library-bench && build/bench/library-bench
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "editor-bench-support.h"
#include "editor/editor-library.h"
#include "host/xvfb-server.h"
#include "plugin/verb-effect.h"
#include "presets/fxp-file.h"
#include "presets/library-actions.h"
#include "presets/program-file-system.h"
#include "presets/program-list.h"

namespace {

using benchsupport::DiscardingRenderer;
using benchsupport::quietHost;
using benchsupport::Screen;

constexpr int kManyPrograms = 5000;
constexpr int kSmallFolders = 20;

// The user folder, made once: "Many" with 5,000 programs, and small folders of three programs.
struct UserFolder {
    std::filesystem::path data;

    UserFolder() {
        data = std::filesystem::temp_directory_path() / ("tarsk-library-bench-" + std::to_string(getpid()));
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (data / "config").c_str(), 1);
        const std::filesystem::path programs = data / "Tarskverb" / "programs";
        tarsk::ProgramRecord record;
        record.setU(tarsk::word::magic, tarsk::kProgramMagic);
        record.setU(tarsk::word::version, tarsk::kCurrentLayout);
        auto write = [&record](const std::filesystem::path& folder, const std::string& name) {
            std::filesystem::create_directories(folder);
            record.setName(name.c_str());
            tarsk::FileStream stream((folder / (name + ".fxp")).c_str(), tarsk::kOpenWrite);
            tarsk::writeFxp(stream, record);
        };
        for (int i = 0; i < kManyPrograms; ++i) {
            write(programs / "Many", "Program " + std::to_string(i));
        }
        for (int f = 0; f < kSmallFolders; ++f) {
            for (int i = 0; i < 3; ++i) {
                write(programs / ("Small " + std::to_string(f)), "Small program " + std::to_string(i));
            }
        }
    }
    ~UserFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(data, ignored);
    }
};

UserFolder& userFolder() {
    static UserFolder folder;
    return folder;
}

void LibraryScan(benchmark::State& state) {
    userFolder();
    tarsk::ProgramFileSystem files;
    files.mount(tarsk::kUserMount, std::make_shared<tarsk::DiskFolderNode>(tarsk::userFolderRoot()));
    tarsk::ProgramList list;
    for (auto _ : state) {
        tarsk::scanProgramFolder(files, tarsk::kUserProgramsPath, list);
    }
    list.readLock();
    state.counters["programs"] = list.count();
    list.unlock();
}
BENCHMARK(LibraryScan)->Unit(benchmark::kMillisecond)->Iterations(5);

void LibraryPageScroll(benchmark::State& state) {
    userFolder();
    static Screen screen{"library-bench"};
    if (!screen.ok) {
        state.SkipWithError("no Xvfb");
        return;
    }
    tarsk::VerbEffect effect(quietHost);
    effect.dispatch(vst2::effEditOpen, 0, 0, screen.parentPointer(), 0);
    effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
    tarsk::libraryWorker().waitUntilIdle(60000);
    DiscardingRenderer renderer;
    tarsk::Editor& editor = effect.editor()->editor();
    editor.useRenderer(&renderer);
    editor.setPage(tarsk::kPageLibrary);
    editor.viewWord(tarsk::kViewLibraryTab) = 2;
    tarsk::LibraryView& view = editor.libraryView(tarsk::kUserView);
    view.selectedFolder = 0;  // "Many" sorts first
    const float u = editor.unit();
    editor.hoverChanged(true);
    editor.mouseMove(20.5f * u, 9.5f * u);  // over the program column
    editor.draw();
    float direction = -3.0f;
    for (auto _ : state) {
        if (view.programScroll <= 5.0f) {
            direction = 3.0f;
        } else if (view.programScroll >= static_cast<float>(kManyPrograms) - 5.0f) {
            direction = -3.0f;
        }
        editor.wheel(0.0f, direction);
        editor.draw();
    }
    state.counters["draw_calls"] = editor.drawList().stats().drawCalls;
    editor.useRenderer(nullptr);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}
BENCHMARK(LibraryPageScroll)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
