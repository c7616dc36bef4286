// Fixed-size blocks stored in a profile (INI) file, compatible both ways with
// the Windows GetPrivateProfileStructA and WritePrivateProfileStructA.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Reads the block stored under key in section of file into block. Fails, and
// leaves block as it was, when the file, section or key is missing or the
// value is not exactly the profile-struct encoding of block.size() bytes.
bool ReadProfileStruct(std::string_view section, std::string_view key, std::span<uint8_t> block,
                       const std::string& file);

// Stores block under key in section of file, creating the file, the section
// and the key as needed; all other lines keep their bytes. The file is
// replaced in one step. Fails, leaving the file as it was, when it cannot be
// read or replaced, or when it is a UTF-16 text this codec does not edit.
bool WriteProfileStruct(std::string_view section, std::string_view key,
                        std::span<const uint8_t> block, const std::string& file);
