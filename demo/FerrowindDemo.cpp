// The demo's stand-in for the game launcher "Ferrowind.exe".
//
// It records the arguments it was started with, and the folder it was started in, in the file
// Ferrowind.args beside itself (one line each: "cwd=<folder>", then "arg=<argument>" per
// argument), then shows them in a window until it is closed. Without a display, or with
// FERROWIND_DEMO_NO_WINDOW set (the tests), it prints them and ends at once.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Multi_Browser.H>
#include <FL/Fl_Return_Button.H>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "controls/KoreanFont.h"

namespace {

std::string OwnFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

std::string CurrentFolder() {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    return error ? std::string() : here.string();
}

// Written under a temporary name and renamed, so a reader never sees half a record.
void RecordArguments(const std::vector<std::string>& arguments) {
    const std::string record = OwnFolder() + "/Ferrowind.args";
    const std::string part = record + ".part";
    {
        std::ofstream out(part, std::ios::trunc);
        out << "cwd=" << CurrentFolder() << "\n";
        for (const std::string& argument : arguments) out << "arg=" << argument << "\n";
    }
    std::rename(part.c_str(), record.c_str());
}

int ShowArguments(const std::vector<std::string>& arguments) {
    UseKoreanFont();
    Fl_Double_Window window(480, 260, "Ferrowind (데모 런쳐)");
    Fl_Box heading(10, 10, 460, 24, "런쳐가 받은 인수:");
    heading.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Fl_Multi_Browser list(10, 40, 460, 170);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string line = "@." + std::to_string(i + 1) + ": " + arguments[i];
        list.add(line.c_str());
    }
    Fl_Return_Button close(380, 220, 90, 28, "닫기");
    close.callback([](Fl_Widget* button, void*) { button->window()->hide(); });
    window.end();
    window.show();
    return Fl::run();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    RecordArguments(arguments);
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::printf("Ferrowind.exe argument %zu: %s\n", i + 1, arguments[i].c_str());
    }
    const char* display = std::getenv("DISPLAY");
    if (std::getenv("FERROWIND_DEMO_NO_WINDOW") != nullptr || display == nullptr || *display == '\0') {
        return 0;
    }
    return ShowArguments(arguments);
}
