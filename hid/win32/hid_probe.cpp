#include "hid/win32/hid_probe.h"

namespace {

// Frees a preparsed-data block through the looked-up function.
class PreparsedData {
  public:
    PreparsedData(PHIDP_PREPARSED_DATA data, decltype(&::HidD_FreePreparsedData) free)
        : data_(data), free_(free) {}
    ~PreparsedData() { free_(data_); }
    PreparsedData(const PreparsedData&) = delete;
    PreparsedData& operator=(const PreparsedData&) = delete;
    PHIDP_PREPARSED_DATA get() const { return data_; }

  private:
    PHIDP_PREPARSED_DATA data_;
    decltype(&::HidD_FreePreparsedData) free_;
};

}  // namespace

std::optional<IowKit2HidAttributes> IowKit2Win32Probe::GetAttributes() {
    HIDD_ATTRIBUTES hidAttr{};
    hidAttr.Size = sizeof(hidAttr);
    if (!functions_.HidD_GetAttributes(file_.get(), &hidAttr)) {
        return std::nullopt;
    }
    return IowKit2HidAttributes{hidAttr.VendorID, hidAttr.ProductID, hidAttr.VersionNumber};
}

std::optional<IowKit2HidCaps> IowKit2Win32Probe::GetCaps() {
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!functions_.HidD_GetPreparsedData(file_.get(), &data) || !data) {
        return std::nullopt;
    }
    PreparsedData preparsed(data, functions_.HidD_FreePreparsedData);
    HIDP_CAPS hidCaps{};
    if (functions_.HidP_GetCaps(preparsed.get(), &hidCaps) != HIDP_STATUS_SUCCESS) {
        return std::nullopt;
    }
    return IowKit2HidCaps{hidCaps.InputReportByteLength, hidCaps.OutputReportByteLength};
}

bool IowKit2Win32Probe::GetSerialNumberString(void* buffer, uint32_t byteLength) {
    return functions_.HidD_GetSerialNumberString(file_.get(), buffer, byteLength);
}

bool IowKit2Win32Probe::GetIndexedString(uint32_t index, void* buffer, uint32_t byteLength) {
    return functions_.HidD_GetIndexedString(file_.get(), index, buffer, byteLength);
}
