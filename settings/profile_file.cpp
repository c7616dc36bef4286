#include "settings/profile_file.h"

#include "settings/file_store.h"
#include "settings/profile_struct.h"
#include "settings/profile_text.h"

namespace {

// UTF-16 profile files (either byte order) are read as holding no values and
// never rewritten, so that their contents are never damaged.
bool IsUtf16Text(std::string_view bytes) {
    return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

}  // namespace

bool ReadProfileStruct(std::string_view section, std::string_view key, std::span<uint8_t> block,
                       const std::string& file) {
    const FileContents contents = ReadWholeFile(file);
    if (contents.status != FileReadStatus::Read || IsUtf16Text(contents.bytes)) {
        return false;
    }
    const auto value = FindProfileValue(contents.bytes, section, key);
    return value && DecodeProfileStruct(*value, block);
}

bool WriteProfileStruct(std::string_view section, std::string_view key,
                        std::span<const uint8_t> block, const std::string& file) {
    const FileContents contents = ReadWholeFile(file);
    if (contents.status == FileReadStatus::Failed || IsUtf16Text(contents.bytes)) {
        return false;
    }
    const std::string updated =
        SetProfileValue(contents.bytes, section, key, EncodeProfileStruct(block));
    return ReplaceWholeFile(file, updated);
}
