// The mailbox: the send request and the alert that travel through the settings
// file between the two halves.
//
// Every writer goes through updateMailbox(), a locked read-modify-write that keeps
// every key it does not change (the settings among them), so that writers in
// different processes never lose each other's keys. Readers take a snapshot.
#pragma once

#include <functional>
#include <optional>

#include "platform/foundation/file_io.h"
#include "platform/foundation/value.h"

namespace tweak {

// The whole file as a dictionary; nullopt when it is missing or unreadable.
// Every read and write here goes through the process's FileOperations.
std::optional<platform::foundation::Dictionary> readMailbox();

// Whether the file is there. After a readMailbox() that answered nullopt, a
// file that is there could not be read just now: it may still hold requests,
// so its readers try again later instead of taking it for empty.
bool mailboxExists();

// Reads the file (an empty dictionary when it is absent), lets `change` edit it
// and writes it back atomically, all under the file's writer lock. A present but
// unreadable file is kept aside under a side name and the fact is logged.
// Answers whether the new file was written. With FolderSync::Later the caller
// flushes the file's folder itself (syncMailboxFolder()), after telling a reader.
bool updateMailbox(const std::function<void(platform::foundation::Dictionary&)>& change,
                   platform::foundation::FolderSync folder = platform::foundation::FolderSync::Now);

// Flushes the new name of a mailbox written with FolderSync::Later.
void syncMailboxFolder();

}  // namespace tweak
