#include "PortProbe.h"

#include <vector>

#include "AtChannel.h"
#include "AtLineReader.h"
#include "AtParse.h"

namespace {

const DWORD SLICE_MS = 50;

} // namespace

PortProbe::PortProbe(ModemPort& port, const std::atomic<bool>& stopping)
    : port(port), stopping(stopping) {}

PortVerdict PortProbe::Run(int tries, DWORD tryMs) {
    PortVerdict verdict;
    std::string sample;
    std::vector<std::string> lines;
    char buffer[1024];
    for (int i = 0; i < tries; ++i) {
        if (!port.Write("AT\r")) {
            verdict.kind = PortVerdict::PortFailed;
            return verdict;
        }
        DWORD start = GetTickCount();
        while (GetTickCount() - start < tryMs) {
            if (stopping) {
                verdict.kind = PortVerdict::Stopped;
                return verdict;
            }
            int got = port.Read(buffer, sizeof(buffer), SLICE_MS);
            if (got < 0) {
                verdict.kind = PortVerdict::PortFailed;
                return verdict;
            }
            verdict.bytesHeard += static_cast<size_t>(got);
            sample.append(buffer, static_cast<size_t>(got) < SAMPLE_BYTES - sample.size()
                                      ? static_cast<size_t>(got)
                                      : SAMPLE_BYTES - sample.size());
            reader.Feed(buffer, static_cast<size_t>(got), lines);
            for (const std::string& line : lines) {
                AtChannel::LineKind kind = AtChannel::Classify(line, "");
                // Binary data can hold a line that reads as a final result code ("0").
                bool final = kind == AtChannel::FinalOk || kind == AtChannel::FinalError ||
                             kind == AtChannel::FinalCmeError;
                if (final && PortVerdict::Classify(sample) != PortVerdict::Binary) {
                    verdict.kind = PortVerdict::AtPort;
                    return verdict;
                }
            }
            lines.clear();
            // Enough to tell what the port streams: no modem says this much unasked.
            if (sample.size() == SAMPLE_BYTES) {
                verdict.kind = PortVerdict::Classify(sample);
                return verdict;
            }
        }
    }
    verdict.kind = PortVerdict::Classify(sample);
    return verdict;
}

void PortProbe::Identify(PortVerdict& verdict, DWORD timeoutMs) {
    AtChannel channel(port, stopping, reader);
    AtReply manufacturer = channel.Command("AT+CGMI", "", timeoutMs);
    AtReply model = channel.Command("AT+CGMM", "", timeoutMs);
    verdict.manufacturer =
        manufacturer.status == AtReply::Ok ? AtParse::Identity(manufacturer.lines) : "?";
    verdict.model = model.status == AtReply::Ok ? AtParse::Identity(model.lines) : "?";
}
