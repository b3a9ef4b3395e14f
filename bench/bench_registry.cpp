// Reading the install key out of a registry file whose key holds many values: the time grows
// with the file, not with its square (120,000 values once took minutes).
#include "platform/posix/registry_file.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace
{

std::string key_with_values(int64_t count)
{
    std::string text = "WINE REGISTRY Version 2\n\n[Software\\\\Quillon\\\\Zenthor\\\\Inf] 1\n";
    for (int64_t i = 0; i < count; i++)
        text += "\"Value" + std::to_string(i) + "\"=\"text\"\n";
    return text;
}

void BM_RegistryKeyOfManyValues(benchmark::State &state)
{
    const std::string text = key_with_values(state.range(0));
    std::vector<RegistryValue> values;
    for (auto _ : state) {
        registry_file_parse(text.data(), text.size(), "Software\\Quillon\\Zenthor\\Inf", &values);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.counters["values"] = static_cast<double>(values.size());
}
BENCHMARK(BM_RegistryKeyOfManyValues)
    ->Arg(1000)
    ->Arg(120000)
    ->Arg(240000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
