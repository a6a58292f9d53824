// One scan over 255 and 1,000 watched lines of the simulated exchange, with
// the list updated on the offscreen platform, against the bare telephony
// calls alone (open, two queries, close per line).
#include <benchmark/benchmark.h>

#include "WindowHarness.h"

namespace {

using namespace platform;

struct ScanProgram : WindowHarness {
    explicit ScanProgram(DWORD lines) : WindowHarness(static_cast<int>(lines)) {
        tapi.recording = false;
        Start();
        Timer1().stop();
    }
};

void BM_TestLines(benchmark::State& state) {
    ScanProgram program(static_cast<DWORD>(state.range(0)));
    for (auto _ : state) program.window->TestLines();
    state.counters["rows"] = static_cast<double>(program.Column(0).size());
}
BENCHMARK(BM_TestLines)->Arg(255)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_BareTelephony(benchmark::State& state) {
    const auto lines = static_cast<DWORD>(state.range(0));
    ProgramHarness exchange(ProgramHarness::Lines(static_cast<int>(lines)));
    exchange.tapi.recording = false;
    Tapi32& api = exchange.tapi;
    HLINEAPP app = 0;
    DWORD devices = 0;
    api.lineInitialize(&app, 1, {}, "Pelmarsh", &devices);
    std::vector<BYTE> small(24), list;
    for (auto _ : state) {
        for (DWORD d = 0; d < devices; ++d) {
            HLINE line = 0;
            if (api.lineOpen(app, d, &line, 0x00020002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                             LINEMEDIAMODE_DATAMODEM, nullptr) != 0)
                continue;
            WriteDword(small.data(), 24, 0, 24);
            api.lineGetNewCalls(line, 0, LINECALLSELECT_LINE, small.data());
            const DWORD needed = ReadDword(small.data(), 24, 4);
            list.assign(needed, 0);
            WriteDword(list.data(), needed, 0, needed);
            api.lineGetNewCalls(line, 0, LINECALLSELECT_LINE, list.data());
            benchmark::DoNotOptimize(ReadDword(list.data(), needed, 12));
            api.lineClose(line);
        }
    }
    api.lineShutdown(app);
}
BENCHMARK(BM_BareTelephony)->Arg(255)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
