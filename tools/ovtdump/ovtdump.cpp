// ovtdump: decodes a touch controller byte stream through the driver's own
// core and prints what the driver would do with it, line by line.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/touch/control.h"
#include "io.h"

namespace {

using ovt::ControlEnv;
using ovt::ControlResult;
using ovt::DriverSettings;
using ovt::MouseRecord;
using ovt::TouchHooks;
using ovt::TouchState;

struct UsageError {
    std::string message;
};

struct Session {
    TouchState state{};
    bool sinkConnected = true;
    // --set values, standing for the Parameters key.
    std::vector<std::pair<std::string, uint32_t>> values;
    unsigned long long bytes = 0;
    unsigned long long packets = 0;
    unsigned long long dropped = 0;
};

// The one decoding run: the core's state, the --set values, the counts.
Session g_session;

int32_t ReadSetValue(void* context, const char* name, uint32_t* value) {
    auto* s = static_cast<Session*>(context);
    for (auto& kv : s->values) {
        if (kv.first == name) {
            *value = kv.second;
            return OVT_STATUS_SUCCESS;
        }
    }
    return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
}

bool SinkConnected(void* context) { return static_cast<Session*>(context)->sinkConnected; }

void Deliver(void*, const MouseRecord* r) {
    std::printf("record flags=0x%04x x=%d y=%d\n", r->ButtonFlags, r->LastX, r->LastY);
}

void Beep(void*, uint32_t freq, uint32_t ms) { std::printf("beep freq=%u ms=%u\n", freq, ms); }

void OnPacket(void* context, uint8_t status, uint32_t x, uint32_t y) {
    static_cast<Session*>(context)->packets++;
    const char* kind = status == TOUCH_DOWN ? "down" : status == TOUCH_MOVE ? "move" : "up";
    std::printf("packet %s raw_x=%u raw_y=%u\n", kind, x, y);
}

void OnCaptureChange(void*, const CaptureRecord* c) {
    std::printf("capture state=0x%04x raw_x=%u raw_y=%u\n", c->State, c->RawX, c->RawY);
}

void OnChecksumDrop(void* context) {
    static_cast<Session*>(context)->dropped++;
    std::printf("drop checksum\n");
}

int32_t Reload(void* context, DriverSettings* settings) {
    return ovt::LoadParameters(settings, ReadSetValue, context);
}

const TouchHooks kHooks = {&g_session, SinkConnected, nullptr, Deliver, nullptr, Beep,
                           OnPacket, OnCaptureChange, OnChecksumDrop};
const ControlEnv kEnv = {&g_session, Reload, Beep};

bool ParseU32(const std::string& text, uint32_t* out) {
    if (text.empty()) return false;
    const char* p = text.c_str();
    int base = 10;
    if (text.size() > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    unsigned long long v = 0;
    for (; *p; ++p) {
        int d;
        if (*p >= '0' && *p <= '9') d = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f') d = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F') d = *p - 'A' + 10;
        else return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFull) return false;
    }
    *out = static_cast<uint32_t>(v);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* out) {
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

struct IoctlRequest {
    uint32_t code = 0;
    std::vector<uint8_t> in;
    uint32_t outLength = 16;
};

// Output buffers beyond this are a typing error, not a request.
constexpr uint32_t kMaxOutLength = 1u << 20;

IoctlRequest ParseIoctl(const std::string& request) {
    IoctlRequest r;
    size_t start = 0;
    bool first = true;
    while (start <= request.size()) {
        size_t comma = request.find(',', start);
        if (comma == std::string::npos) comma = request.size();
        const std::string part = request.substr(start, comma - start);
        if (first) {
            if (!ParseU32(part, &r.code)) throw UsageError{"bad ioctl code: '" + part + "'"};
            first = false;
        } else if (part.rfind("in=", 0) == 0) {
            r.in.clear();
            if (!ParseHexBytes(part.substr(3), &r.in)) throw UsageError{"bad ioctl input: '" + part + "'"};
        } else if (part.rfind("out=", 0) == 0) {
            uint32_t n = 0;
            if (!ParseU32(part.substr(4), &n) || n > kMaxOutLength) {
                throw UsageError{"bad ioctl output length: '" + part + "'"};
            }
            r.outLength = n;
        } else {
            throw UsageError{"bad ioctl field: '" + part + "'"};
        }
        start = comma + 1;
    }
    return r;
}

void RunIoctl(const IoctlRequest& r) {
    // One system buffer for both directions, as METHOD_BUFFERED has it.
    const uint32_t inLength = static_cast<uint32_t>(r.in.size());
    std::vector<uint8_t> buffer(inLength > r.outLength ? inLength : r.outLength, 0);
    if (inLength) std::memcpy(buffer.data(), r.in.data(), inLength);
    uint8_t* data = buffer.empty() ? nullptr : buffer.data();
    const ControlResult res =
        ovt::DispatchControl(&g_session.state, &kEnv, r.code, data, inLength, data, r.outLength);
    std::printf("ioctl 0x%08x status=0x%08x bytes=%u", r.code, static_cast<uint32_t>(res.Status),
                res.Information);
    if (res.Information > 0) {
        std::printf(" out=");
        for (uint32_t i = 0; i < res.Information && i < buffer.size(); ++i) std::printf("%02x", buffer[i]);
    }
    std::printf("\n");
}

void FeedByte(uint8_t b) {
    g_session.bytes++;
    ovt::TouchOnReadCompleted(&g_session.state, &kHooks, true, 1, b);
}

void FeedFailure() { ovt::TouchOnReadCompleted(&g_session.state, &kHooks, false, 0, 0); }

void HandleToken(const std::string& token) {
    if (token == "fail") {
        FeedFailure();
    } else if (token.rfind("ioctl:", 0) == 0) {
        RunIoctl(ParseIoctl(token.substr(6)));
    } else {
        const int hi = token.size() == 2 ? HexDigit(token[0]) : -1;
        const int lo = token.size() == 2 ? HexDigit(token[1]) : -1;
        if (hi < 0 || lo < 0) throw UsageError{"bad hex token: '" + token + "'"};
        FeedByte(static_cast<uint8_t>(hi * 16 + lo));
    }
}

bool IsValueName(const std::string& name) {
    for (const auto& def : ovt::kParameterTable) {
        if (name == def.Name) return true;
    }
    return false;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: ovtdump [--hex] [--set NAME=VALUE]... [--arm] [--no-sink] [--reports N]\n"
                 "               [--ioctl CODE[,in=HEX][,out=N]]... [INPUT]\n"
                 "       ovtdump --driver\n");
}

int Run(int argc, char** argv) {
    bool hex = false;
    bool arm = false;
    uint32_t reports = 1;
    std::string input = "-";
    bool haveInput = false;
    bool driver = false;
    std::vector<IoctlRequest> ioctls;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&](const char* what) -> std::string {
            if (i + 1 >= argc) throw UsageError{std::string("missing value after ") + what};
            return argv[++i];
        };
        if (a == "--hex") {
            hex = true;
        } else if (a == "--arm") {
            arm = true;
        } else if (a == "--no-sink") {
            g_session.sinkConnected = false;
        } else if (a == "--reports") {
            const std::string v = next("--reports");
            if (!ParseU32(v, &reports)) throw UsageError{"bad number for --reports: '" + v + "'"};
        } else if (a == "--set") {
            const std::string v = next("--set");
            const size_t eq = v.find('=');
            if (eq == std::string::npos) throw UsageError{"--set needs NAME=VALUE: '" + v + "'"};
            const std::string name = v.substr(0, eq);
            uint32_t value = 0;
            if (!IsValueName(name)) throw UsageError{"unknown parameter name: '" + name + "'"};
            if (!ParseU32(v.substr(eq + 1), &value)) throw UsageError{"bad value for " + name + ": '" + v.substr(eq + 1) + "'"};
            bool replaced = false;
            for (auto& kv : g_session.values) {
                if (kv.first == name) {
                    kv.second = value;
                    replaced = true;
                }
            }
            if (!replaced) g_session.values.emplace_back(name, value);
        } else if (a == "--driver") {
            driver = true;
        } else if (a == "--ioctl") {
            ioctls.push_back(ParseIoctl(next("--ioctl")));
        } else if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        } else if (a.size() > 1 && a[0] == '-' ) {
            throw UsageError{"unknown option: '" + a + "'"};
        } else {
            if (haveInput) throw UsageError{"more than one input: '" + a + "'"};
            input = a;
            haveInput = true;
        }
    }

    if (driver) {
        // The running driver decodes; none of the stream options apply.
        if (argc != 2) throw UsageError{"--driver takes no other option or input"};
        return ovtdump::WatchRunningDriver();
    }

    ovtdump::Input* in = ovtdump::OpenInput(input);
    if (in == nullptr) return 1;
    // Closed also when a bad token ends the run.
    struct Closer {
        ovtdump::Input* in;
        ~Closer() { ovtdump::CloseInput(in); }
    } closer{in};

    ovt::LoadParameters(&g_session.state.Settings, ReadSetValue, &g_session);
    g_session.state.ReportEnableCount = reports;
    if (arm) ovt::TouchArmCapture(&g_session.state);
    for (const auto& r : ioctls) RunIoctl(r);

    std::string token;
    unsigned char buf[4096];
    int rc = 0;
    for (;;) {
        const long n = ovtdump::ReadInput(in, buf, sizeof buf);
        if (n < 0) {
            rc = 1;
            break;
        }
        if (n == 0) break;
        for (long i = 0; i < n; ++i) {
            if (!hex) {
                FeedByte(buf[i]);
            } else if (std::isspace(buf[i])) {
                if (!token.empty()) HandleToken(token);
                token.clear();
            } else {
                token.push_back(static_cast<char>(buf[i]));
                if (token.size() > 4096) throw UsageError{"bad hex token: '" + token.substr(0, 32) + "...'"};
            }
        }
        if (ovtdump::Interrupted()) break;
    }
    if (rc == 0 && hex && !token.empty()) HandleToken(token);
    if (rc == 0) {
        std::printf("summary bytes=%llu packets=%llu dropped=%llu\n", g_session.bytes, g_session.packets,
                    g_session.dropped);
    }
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "ovtdump: %s\n", e.message.c_str());
        return 2;
    }
}
