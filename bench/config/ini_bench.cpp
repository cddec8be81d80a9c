// Reading an ini file of many keys in one section, as the tester does at
// every connection on its GUI thread. The baseline splits the same text into
// trimmed lines, the floor of any reading. Both should grow in proportion to
// the number of keys (the "BigO" lines); the ratio of the two figures at one
// size is the reader's cost per line over the floor.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QList>

#include "tester/config/ini_reader.h"

namespace {

QByteArray fileOfKeys(int keys) {
    QByteArray text("[TestParameter]\r\nAutoRun=1\r\n[DEFAULT]\r\n");
    for (int k = 0; k < keys; ++k)
        text += "X" + QByteArray::number(k) + "OpenLower=" + QByteArray::number(1000 + k % 500) + "\r\n";
    return text;
}

void BM_ReadIniKeys(benchmark::State& state) {
    const QByteArray text = fileOfKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const lumora::tester::IniContents contents = lumora::tester::CIniReader::parse(text);
        benchmark::DoNotOptimize(contents.value("DEFAULT", "X7OpenLower"));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadIniKeys)->Arg(2000)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_SplitLinesBaseline(benchmark::State& state) {
    const QByteArray text = fileOfKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        qsizetype length = 0;
        for (const QByteArray& line : text.split('\n')) length += line.trimmed().size();
        benchmark::DoNotOptimize(length);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SplitLinesBaseline)->Arg(2000)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
