// The report of bench_generate. Every figure comes from a child process measured through wait4: the window's
// own measurement (bench_generate --measure), once on all CPUs and once pinned to one CPU, and the bare
// tools (vipsthumbnail, then cp) on the same files. Rounds take the three in turn, so that a busy spell of
// the machine falls on all of them; each time is the best of the rounds, with the load average beside.
#include "GenerateReport.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TChild {
    std::string Output;
    double Wall = 0;
    double Cpu = 0; // user and system time of the child and the children it waited for
    long PeakKiB = 0;
    bool Ok = false;
};

double Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double Seconds(const timeval& time) {
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

// Runs a program with its standard output and error read back; pinCpu >= 0 holds it to that one CPU.
TChild RunChild(const std::vector<std::string>& args, int pinCpu = -1) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    TChild child;
    int out[2];
    if (pipe(out) != 0)
        return child;
    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (pinCpu >= 0) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(pinCpu, &one);
            sched_setaffinity(0, sizeof one, &one);
        }
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        child.Output.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return child;
    child.Wall = Now() - start;
    child.Cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    child.PeakKiB = usage.ru_maxrss;
    child.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!child.Ok && WIFEXITED(status) && WEXITSTATUS(status) == 127)
        std::fprintf(stderr, "%s could not be run (scripts/bench-corpus installs the tools)\n",
                     args[0].c_str());
    else if (!child.Ok)
        std::fprintf(stderr, "%s failed:\n%s\n", args[0].c_str(), child.Output.c_str());
    return child;
}

// A fresh folder in the system's temporary folder, or "" when it cannot be made.
std::string TempDir(const char* name) {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / (std::string(name) + "_XXXXXX")).string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

struct TOurs {
    int Pictures = 0;
    int Threads = 0;
    int ThumbW = 0;
    int ThumbH = 0;
    int Quality = 0;
    double PlaceWall = 0, PlaceCpu = 0, RunWall = 0, RunCpu = 0, RegenWall = 0, RegenCpu = 0;
    long PeakKiB = 0;
    std::string Output;
    double Wall() const { return PlaceWall + RunWall; }
    double Cpu() const { return PlaceCpu + RunCpu; }
};

std::optional<TOurs> MeasureOurs(const std::string& folder, int pinCpu = -1, int first = 0, int web = 0) {
    std::vector<std::string> args{"/proc/self/exe", "--measure", folder};
    if (first > 0)
        args.insert(args.end(), {"--first", std::to_string(first)});
    if (web > 0)
        args.insert(args.end(), {"--web", std::to_string(web)});
    const TChild child = RunChild(args, pinCpu);
    const size_t at = child.Output.rfind(kFiguresTag);
    TOurs ours;
    if (!child.Ok || at == std::string::npos)
        return std::nullopt;
    std::istringstream line(child.Output.substr(at + std::strlen(kFiguresTag)));
    line >> ours.Pictures >> ours.Threads >> ours.ThumbW >> ours.ThumbH >> ours.Quality >> ours.PlaceWall >>
        ours.PlaceCpu >> ours.RunWall >> ours.RunCpu >> ours.RegenWall >> ours.RegenCpu;
    if (!line)
        return std::nullopt;
    ours.PeakKiB = child.PeakKiB;
    ours.Output = child.Output.substr(0, at);
    return ours;
}

struct TTools {
    double Wall = 0, Cpu = 0, VipsWall = 0, CpWall = 0;
};

// vipsthumbnail making one size of each file into dir, stripped of metadata or not.
TChild RunVips(const std::vector<std::string>& files, const std::string& dir, const std::string& size,
               const std::string& name, int quality, bool strip, int pinCpu) {
    std::vector<std::string> vips{"vipsthumbnail", "--size", size, "-o",
                                  dir + "/" + name + "_%s.jpg[Q=" + std::to_string(quality) +
                                      (strip ? ",strip]" : "]")};
    vips.insert(vips.end(), files.begin(), files.end());
    return RunChild(vips, pinCpu);
}

// The same files made into thumbnails of the same size and quality by vipsthumbnail (and with webSide, into
// web copies of that long side by a second one), and copied by cp. Its thumbnails are stripped of the
// originals' metadata, as ours are. The targets compare with the tools on one
// CPU (pinCpu); vipsthumbnail on all of them is printed beside, for what it is worth.
std::optional<TTools> MeasureTools(const std::vector<std::string>& files, const TOurs& ours, int pinCpu = -1,
                                   int webSide = 0) {
    const std::string dir = TempDir("bench_generate_tools");
    if (dir.empty())
        return std::nullopt;
    std::vector<std::string> cp{"cp"};
    cp.insert(cp.end(), files.begin(), files.end());
    cp.push_back(dir + "/");
    const TChild thumbs = RunVips(files, dir, std::to_string(ours.ThumbW) + "x" + std::to_string(ours.ThumbH),
                                  "tn", ours.Quality, true, pinCpu);
    // The web copies as ours are: JPEG quality 85, the metadata kept, smaller pictures not enlarged.
    const TChild web =
        thumbs.Ok && webSide > 0
            ? RunVips(files, dir, std::to_string(webSide) + "x" + std::to_string(webSide) + ">", "web", 85,
                      false, pinCpu)
            : TChild{{}, 0, 0, 0, true};
    const TChild copies = web.Ok ? RunChild(cp, pinCpu) : TChild{};
    fs::remove_all(dir);
    if (!copies.Ok)
        return std::nullopt;
    return TTools{thumbs.Wall + web.Wall + copies.Wall, thumbs.Cpu + web.Cpu + copies.Cpu,
                  thumbs.Wall + web.Wall, copies.Wall};
}

// The picture files of a folder, as the measuring child lists them.
std::vector<std::string> Pictures(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (entry.is_regular_file() && (ext == ".jpg" || ext == ".jpeg" || ext == ".bmp" || ext == ".ico"))
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Times take the best round: another process only ever adds to them. Memory takes the median.
template <class T, class F> double Best(const std::vector<T>& rounds, F figure) {
    double best = figure(rounds[0]);
    for (const T& round : rounds)
        best = std::min(best, figure(round));
    return best;
}

template <class T, class F> double Median(const std::vector<T>& rounds, F figure) {
    std::vector<double> values;
    for (const T& round : rounds)
        values.push_back(figure(round));
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

const int kLabel = 56;

void PrintTarget(const char* what, double value, bool atMost, double target) {
    const bool met = atMost ? value <= target : value >= target;
    std::printf("  %-*s %6.2fx  target %s %.2fx: %s by %.0f%%\n", kLabel, what, value,
                atMost ? "at most" : "at least", target, met ? "met" : "NOT met",
                100 * std::abs(value - target) / target);
}

void PrintRow(const std::string& label, double wall, double cpu, const std::string& note = "") {
    std::printf("  %-*s %6.2f %7.2f%s%s\n", kLabel, label.c_str(), wall, cpu, note.empty() ? "" : "  ",
                note.c_str());
}

std::string Note(const char* first, double firstWall, const char* second, double secondWall) {
    char note[128];
    std::snprintf(note, sizeof note, "(%s %.2f s, %s %.2f s wall)", first, firstWall, second, secondWall);
    return note;
}

// The machine's load over the last 1, 5 and 15 minutes: how much other work shared the CPUs.
std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return file ? one + " " + five + " " + fifteen : "unknown";
}

// The first CPU this process may run on.
int FirstCpu() {
    cpu_set_t set;
    CPU_ZERO(&set);
    sched_getaffinity(0, sizeof set, &set);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set))
            return cpu;
    return 0;
}

void PrintComparison(const std::vector<TOurs>& all, const std::vector<TOurs>& one,
                     const std::vector<TTools>& tools, const std::vector<TTools>& toolsAll) {
    const auto wall = [](const TOurs& r) { return r.Wall(); };
    const auto cpu = [](const TOurs& r) { return r.Cpu(); };
    const double toolsWall = Best(tools, [](const TTools& r) { return r.Wall; });
    const double toolsCpu = Best(tools, [](const TTools& r) { return r.Cpu; });
    std::printf("  %-*s %6s %7s\n", kLabel, "", "wall s", "CPU s");
    PrintRow("placing + run, " + std::to_string(all[0].Threads) + " threads", Best(all, wall), Best(all, cpu),
             Note("placing", Best(all, [](auto& r) { return r.PlaceWall; }), "run",
                  Best(all, [](auto& r) { return r.RunWall; })));
    PrintRow("placing + run, pinned to one CPU: " + std::to_string(one[0].Threads) + " thread(s)",
             Best(one, wall), Best(one, cpu));
    PrintRow("vipsthumbnail + cp, pinned to one CPU", toolsWall, toolsCpu,
             Note("vipsthumbnail", Best(tools, [](const TTools& r) { return r.VipsWall; }), "cp",
                  Best(tools, [](const TTools& r) { return r.CpWall; })));
    PrintRow("vipsthumbnail + cp, on all CPUs", Best(toolsAll, [](const TTools& r) { return r.Wall; }),
             Best(toolsAll, [](const TTools& r) { return r.Cpu; }));
    PrintTarget("CPU against vipsthumbnail + cp", Best(all, cpu) / toolsCpu, true, 1.05);
    PrintTarget("wall against vipsthumbnail + cp on one CPU", Best(all, wall) / toolsWall, true, 0.6);
    PrintTarget("speed-up over one thread (wall)", Best(one, wall) / Best(all, wall), false, 1.7);
    const double regenWall = Best(all, [](auto& r) { return r.RegenWall; });
    PrintRow("run after a change of shadow, same folder", regenWall,
             Best(all, [](auto& r) { return r.RegenCpu; }));
    const double share = regenWall / Best(all, wall);
    std::printf("  %-*s %5.0f%%   target under 15%%: %s\n", kLabel, "its share of placing + first run (wall)",
                100 * share, share < 0.15 ? "met" : "NOT met");
}

bool CompareFolder(const std::string& folder, int repeat, TOurs& firstRound) {
    const std::vector<std::string> files = Pictures(folder);
    std::vector<TOurs> all, one;
    std::vector<TTools> tools, toolsAll;
    const int cpu = FirstCpu();
    const std::string load = LoadAverage();
    for (int round = 0; round < repeat; ++round) {
        const std::optional<TOurs> mine = MeasureOurs(folder);
        const std::optional<TOurs> pinned = mine ? MeasureOurs(folder, cpu) : std::nullopt;
        const std::optional<TTools> bare = pinned ? MeasureTools(files, *mine, cpu) : std::nullopt;
        const std::optional<TTools> spread = bare ? MeasureTools(files, *mine) : std::nullopt;
        if (!spread)
            return false;
        all.push_back(*mine);
        one.push_back(*pinned);
        tools.push_back(*bare);
        toolsAll.push_back(*spread);
    }
    std::printf("\n== %d pictures in %s: %dx%d thumbnails at quality %d; best of %d round(s), each\n"
                "   of them all CPUs, then pinned to CPU %d, then vipsthumbnail + cp; load average %s ==\n",
                all[0].Pictures, folder.c_str(), all[0].ThumbW, all[0].ThumbH, all[0].Quality, repeat, cpu,
                load.c_str());
    std::printf("first round on all CPUs, as measured in its process:\n%s", all[0].Output.c_str());
    if (one[0].Threads != 1)
        std::printf("warning: QThread::idealThreadCount() did not follow the one-CPU affinity mask\n");
    PrintComparison(all, one, tools, toolsAll);
    firstRound = all[0];
    return true;
}

// A new gallery's run: web copies of long side kWebSide besides the thumbnails, against cp and vipsthumbnail
// making both, all on one CPU, so that processor time compares work with work.
bool DefaultRun(const std::string& folder, int repeat) {
    const int kWebSide = 2048;
    const std::vector<std::string> files = Pictures(folder);
    const int cpu = FirstCpu();
    const std::string load = LoadAverage();
    std::vector<TOurs> ours;
    std::vector<TTools> tools;
    for (int round = 0; round < repeat; ++round) {
        const std::optional<TOurs> mine = MeasureOurs(folder, cpu, 0, kWebSide);
        const std::optional<TTools> bare = mine ? MeasureTools(files, *mine, cpu, kWebSide) : std::nullopt;
        if (!bare)
            return false;
        ours.push_back(*mine);
        tools.push_back(*bare);
    }
    std::printf("\n== the default run (web copies of long side %d) of %d pictures in %s, pinned to CPU %d,\n"
                "   then cp + vipsthumbnail of both sizes; best of %d round(s); load average %s ==\n",
                kWebSide, ours[0].Pictures, folder.c_str(), cpu, repeat, load.c_str());
    std::printf("  %-*s %6s %7s\n", kLabel, "", "wall s", "CPU s");
    const auto cpuOf = [](const TOurs& r) { return r.Cpu(); };
    const double toolsCpu = Best(tools, [](const TTools& r) { return r.Cpu; });
    PrintRow("placing + default run, one CPU", Best(ours, [](const TOurs& r) { return r.Wall(); }),
             Best(ours, cpuOf),
             Note("placing", Best(ours, [](auto& r) { return r.PlaceWall; }), "run",
                  Best(ours, [](auto& r) { return r.RunWall; })));
    PrintRow("cp + vipsthumbnail web + thumbnail, one CPU",
             Best(tools, [](const TTools& r) { return r.Wall; }), toolsCpu);
    PrintTarget("CPU against cp + vipsthumbnail web + thumbnail", Best(ours, cpuOf) / toolsCpu, true, 0.5);
    return true;
}

} // namespace

// Each run is its own process. The pictures are copies, so that one may change.
// A fresh first run is also taken pinned to one CPU (the program then runs one thread) and set beside the
// bare tools on the same copies: the command line's speed-up over one core, start-up and exit included.
bool CommandLineRuns(const std::string& folder, int repeat, int thumbW, int thumbH, int quality) {
    const std::vector<std::string> files = Pictures(folder);
    const std::string dir = TempDir("bench_generate_cli");
    if (dir.empty() || files.size() < 2)
        return false;
    std::vector<std::string> copies;
    for (const std::string& file : files) {
        copies.push_back(dir + "/" + fs::path(file).filename().string());
        fs::copy_file(file, copies.back());
    }
    const int columns = int(std::ceil(std::sqrt(double(files.size()))));
    std::vector<std::string> args{VELTRIX_PROGRAM, "generate",      "--profile",
                                  kBenchProfile,   "--columns",     std::to_string(columns),
                                  "--out",         dir + "/gallery"};
    args.insert(args.end(), copies.begin(), copies.end());
    std::vector<TChild> first, unchanged, changed, pinned;
    std::vector<TTools> tools, toolsAll;
    TOurs look;
    look.ThumbW = thumbW;
    look.ThumbH = thumbH;
    look.Quality = quality;
    const std::string load = LoadAverage();
    for (int round = 0; round < repeat; ++round) {
        fs::remove_all(dir + "/gallery");
        first.push_back(RunChild(args));
        unchanged.push_back(RunChild(args));
        // Another picture's bytes under the first one's name: a new size, time and content.
        fs::copy_file(copies[1 + round % (copies.size() - 1)], copies[0],
                      fs::copy_options::overwrite_existing);
        changed.push_back(RunChild(args));
        fs::remove_all(dir + "/gallery");
        pinned.push_back(RunChild(args, FirstCpu()));
        const std::optional<TTools> bare = MeasureTools(copies, look, FirstCpu());
        const std::optional<TTools> spread = MeasureTools(copies, look);
        if (!first.back().Ok || !unchanged.back().Ok || !changed.back().Ok || !pinned.back().Ok || !bare ||
            !spread)
            return false;
        tools.push_back(*bare);
        toolsAll.push_back(*spread);
    }
    fs::remove_all(dir);
    const auto wall = [](const TChild& child) { return child.Wall; };
    const auto cpu = [](const TChild& child) { return child.Cpu; };
    std::printf("\n== veltrix generate of %zu pictures, into one folder three times, then afresh pinned to\n"
                "   CPU %d, then vipsthumbnail + cp; best of %d round(s); load average %s ==\n",
                files.size(), FirstCpu(), repeat, load.c_str());
    std::printf("  %-*s %6s %7s\n", kLabel, "", "wall s", "CPU s");
    PrintRow("first run into a fresh folder", Best(first, wall), Best(first, cpu));
    PrintRow("first run, pinned to one CPU", Best(pinned, wall), Best(pinned, cpu));
    PrintRow("vipsthumbnail + cp, pinned to one CPU", Best(tools, [](const TTools& r) { return r.Wall; }),
             Best(tools, [](const TTools& r) { return r.Cpu; }));
    PrintRow("vipsthumbnail + cp, on all CPUs", Best(toolsAll, [](const TTools& r) { return r.Wall; }),
             Best(toolsAll, [](const TTools& r) { return r.Cpu; }));
    PrintTarget("first run's wall against vipsthumbnail + cp on one CPU",
                Best(first, wall) / Best(tools, [](const TTools& r) { return r.Wall; }), true, 0.6);
    PrintTarget("first run's speed-up over one CPU (wall)", Best(pinned, wall) / Best(first, wall), false,
                1.7);
    PrintRow("second run, nothing changed", Best(unchanged, wall), Best(unchanged, cpu));
    PrintRow("second run, one picture changed", Best(changed, wall), Best(changed, cpu));
    const double share = Best(unchanged, cpu) / Best(first, cpu);
    std::printf("  %-*s %5.1f%%   target under 10%%: %s\n", kLabel,
                "unchanged run's share of the first (CPU)", 100 * share, share < 0.10 ? "met" : "NOT met");
    return true;
}

namespace {

// Each count of pictures in its own process: 10, 38, and the 38 copied four times under distinct names
// (real copies: the grid takes links to one file as one picture). The copies of the first round sort first,
// so the smaller counts are taken from them.
bool MemoryScan(const std::string& folder, int repeat) {
    const int kBase = 38;
    std::vector<std::string> files = Pictures(folder);
    files.resize(std::min<size_t>(files.size(), kBase));
    const std::string copies = TempDir("bench_generate_copies");
    std::error_code error;
    for (int copy = 1; copy <= 4 && !copies.empty() && !error; ++copy)
        for (const std::string& file : files)
            fs::copy_file(
                file, copies + "/" + std::to_string(copy) + "_" + fs::path(file).filename().string(), error);
    if (copies.empty() || error) {
        std::fprintf(stderr, "cannot copy the pictures into %s: %s\n", copies.c_str(),
                     error.message().c_str());
        fs::remove_all(copies, error);
        return false;
    }
    struct TCount {
        std::string Folder;
        int First;
    };
    const TCount counts[] = {{copies, 10}, {copies, int(files.size())}, {copies, 0}};
    std::printf(
        "\n== peak memory as the pictures grow: the first %d of %s, copied four times under distinct\n"
        "   names; ru_maxrss of a process per count (placing and both runs), median of %d ==\n",
        int(files.size()), folder.c_str(), repeat);
    std::printf("  %8s %10s %28s\n", "pictures", "peak MiB", "KiB per picture added");
    double lastKiB = 0;
    int lastPictures = 0;
    bool ok = true;
    for (const TCount& count : counts) {
        std::vector<TOurs> rounds;
        for (int round = 0; round < repeat && ok; ++round) {
            const std::optional<TOurs> measured = MeasureOurs(count.Folder, -1, count.First);
            ok = measured.has_value();
            if (ok)
                rounds.push_back(*measured);
        }
        if (!ok)
            break;
        const double kib = Median(rounds, [](const TOurs& r) { return double(r.PeakKiB); });
        const int pictures = rounds[0].Pictures;
        std::printf("  %8d %10.1f", pictures, kib / 1024);
        if (lastPictures > 0)
            std::printf(" %28.0f", (kib - lastKiB) / (pictures - lastPictures));
        std::printf("\n");
        lastKiB = kib;
        lastPictures = pictures;
    }
    fs::remove_all(copies, error);
    return ok;
}

} // namespace

int Report(int argc, char** argv, const char* corpus) {
    int repeat = 3;
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            folders.push_back(argv[i]);
    }
    if (folders.empty())
        folders = {std::string(corpus) + "/photos", std::string(corpus) + "/12mp"};
    for (const std::string& folder : folders) {
        if (Pictures(folder).empty()) {
            std::fprintf(stderr, "%s: no pictures (scripts/bench-corpus builds bench/corpus/)\n",
                         folder.c_str());
            return 1;
        }
    }
    std::printf(
        "bench_generate: placing the pictures into the window's grid, then a generation run, against\n"
        "a bare vipsthumbnail + cp of the same files; the machine has %ld CPUs online\n",
        sysconf(_SC_NPROCESSORS_ONLN));
    for (const std::string& folder : folders) {
        TOurs ours;
        if (!CompareFolder(folder, repeat, ours) || !DefaultRun(folder, repeat) ||
            !CommandLineRuns(folder, repeat, ours.ThumbW, ours.ThumbH, ours.Quality))
            return 1;
    }
    return MemoryScan(folders[0], repeat) ? 0 : 1;
}
