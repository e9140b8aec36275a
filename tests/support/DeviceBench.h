#pragma once

#include "support/NetBench.h"
#include "support/SimDevice.h"

#include <QByteArray>

// A bench with the device in it, the calling thread in the PC's namespace.
struct DeviceBench
{
    explicit DeviceBench(const std::string& tag, const std::vector<std::string>& simOptions = {},
                         const NetBenchOptions& options = {})
        : Bench(tag, options), Sim(Bench, simOptions), Pc(Bench.PcNamespace())
    {
    }

    NetBench Bench;
    SimDevice Sim;
    NetBench::Entered Pc;
};

inline QByteArray Bytes(const SimDevice::Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}
