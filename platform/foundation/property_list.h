// Property-list files: reading XML and binary property lists into Values, and
// writing whole dictionaries back atomically.
//
// Any thread may call these functions. Reading never throws and answers nullopt
// for anything that is not a well-formed property list of the expected shape.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/foundation/file_io.h"
#include "platform/foundation/value.h"

namespace platform::foundation {

// Property lists larger than this are refused: nothing the system stores comes
// near it, and a limit keeps a hostile file from exhausting memory.
inline constexpr std::uintmax_t kMaxPropertyListBytes = 16u << 20;

enum class PropertyListFormat { Xml, Binary };

// Parses XML or binary property-list bytes; nullopt when malformed.
std::optional<Value> parsePropertyList(std::span<const std::uint8_t> bytes);

// Encodes a value; empty bytes when the value cannot be encoded (null).
Bytes serializePropertyList(const Value& value, PropertyListFormat format);

// dictionaryWithContentsOfFile: a dictionary, or nullopt for a missing file, an
// unreadable file, a malformed one, or one whose root is not a dictionary.
std::optional<Dictionary> readDictionaryFile(const std::filesystem::path& path);

// writeToFile:atomically:YES for a dictionary, as an XML property list.
bool writeDictionaryFileAtomically(const std::filesystem::path& path, const Dictionary& dictionary,
                                   FolderSync folder = FolderSync::Now);

// The outcome of updateDictionaryFile.
struct UpdateResult {
  bool written = false;
  // The lock could not be taken (its file cannot be created or locked): nothing
  // was read, changed or written.
  bool lockFailed = false;
  // Set when a present but unreadable file was moved aside before it was replaced.
  std::optional<std::filesystem::path> keptAside;
};

// A read-modify-write of a dictionary file, exclusive among every writer that
// uses this function: it holds an advisory lock on "<path>.lock" (the rename of
// an atomic write replaces the file itself, so the lock cannot live on it) while
// it reads the file, lets `change` edit the dictionary (empty when the file is
// absent) and writes it back atomically. Readers need no lock: they see the old
// file or the new one. A writer that cannot take the lock writes nothing and
// says so: an unlocked write could lose another writer's change.
//
// A file that is present but cannot be read as a dictionary is not silently
// dropped: it is renamed to "<path>.unreadable-<unix time>" before the new file
// takes its place, and the result names it so that the caller can log it.
// `folder` says when the new name is flushed (see FolderSync).
UpdateResult updateDictionaryFile(const std::filesystem::path& path,
                                  const std::function<void(Dictionary&)>& change,
                                  FolderSync folder = FolderSync::Now);

}  // namespace platform::foundation
