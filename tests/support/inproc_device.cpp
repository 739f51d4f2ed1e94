#include "inproc_device.h"

#include <cstring>

namespace ovt::test {

namespace {

struct KeyReader {
    Registry* registry;
    RegKey key;
};

int32_t ReadFromRegistry(void* context, const char* name, uint32_t* value) {
    auto* r = static_cast<KeyReader*>(context);
    if (!r->key) return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    uint32_t type = 0, data = 0, size = sizeof data;
    const long rc = r->registry->QueryValue(r->key, name, &type, &data, &size);
    if (rc != kErrorSuccess || type != kRegDword || size != 4) return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    *value = data;
    return OVT_STATUS_SUCCESS;
}

}  // namespace

InProcDevice::InProcDevice(Registry* registry) : registry_(registry) {
    hooks_.Context = this;
    hooks_.SinkConnected = [](void*) { return true; };
    hooks_.Deliver = [](void* c, const MouseRecord* m) { static_cast<InProcDevice*>(c)->records_.push_back(*m); };
    hooks_.Beep = Beep;
    env_.Context = this;
    env_.Reload = Reload;
    env_.Beep = Beep;
    Reload(this, &state_.Settings);
    reloads_ = 0;
    state_.ReportEnableCount = 1;
}

int32_t InProcDevice::Reload(void* context, DriverSettings* settings) {
    auto* d = static_cast<InProcDevice*>(context);
    d->reloads_++;
    KeyReader reader{d->registry_, nullptr};
    if (d->registry_) {
        d->registry_->OpenKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, kKeyQueryValue, &reader.key);
    }
    const int32_t rc = LoadParameters(settings, ReadFromRegistry, &reader);
    if (reader.key) d->registry_->CloseKey(reader.key);
    return rc;
}

void InProcDevice::Beep(void* context, uint32_t freq, uint32_t ms) {
    static_cast<InProcDevice*>(context)->beeps_.emplace_back(freq, ms);
}

bool InProcDevice::Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                           uint32_t* bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    SentRequest sent{code, {}, outLength, OVT_STATUS_UNSUCCESSFUL};
    if (in && inLength) sent.in.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inLength);
    if (failAll_) {
        requests_.push_back(sent);
        if (bytes) *bytes = 0;
        return false;
    }
    // METHOD_BUFFERED: one system buffer, input copied in, output copied back.
    std::vector<uint8_t> buffer(inLength > outLength ? inLength : outLength, 0);
    if (inLength) std::memcpy(buffer.data(), in, inLength);
    uint8_t* data = buffer.empty() ? nullptr : buffer.data();
    const ControlResult r = DispatchControl(&state_, &env_, code, data, inLength, data, outLength);
    sent.status = r.Status;
    requests_.push_back(sent);
    if (r.Status == OVT_STATUS_SUCCESS && r.Information && out) std::memcpy(out, buffer.data(), r.Information);
    if (bytes) *bytes = r.Status == OVT_STATUS_SUCCESS ? r.Information : 0;
    return r.Status == OVT_STATUS_SUCCESS;
}

void InProcDevice::Feed(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint8_t b : bytes) TouchOnReadCompleted(&state_, &hooks_, true, 1, b);
}

void InProcDevice::Touch(uint8_t status, uint16_t x, uint16_t y) {
    std::vector<uint8_t> p = {0x55, 0x54, status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8), 0, 0, 0};
    p[9] = TouchChecksum(p.data());
    Feed(p);
}

void InProcDevice::Tap(uint16_t x, uint16_t y) {
    Touch(TOUCH_DOWN, x, y);
    Touch(TOUCH_UP, x, y);
}

std::vector<SentRequest> InProcDevice::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<uint32_t> InProcDevice::Codes() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<uint32_t> codes;
    for (auto& r : requests_) codes.push_back(r.code);
    return codes;
}

std::vector<MouseRecord> InProcDevice::Records() {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

std::vector<std::pair<uint32_t, uint32_t>> InProcDevice::Beeps() {
    std::lock_guard<std::mutex> lock(mutex_);
    return beeps_;
}

}  // namespace ovt::test
