#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace tabulo {

// What a file or folder on a published tree gives away, worst first. Secrets and version
// control folders are serious: anyone who finds them can take over what they guard.
enum class Exposure {
    Secret,          // keys, passwords, credentials, databases
    VersionControl,  // a repository's whole history, deleted files and all
    UploadRunnable,  // a file in the upload folder the web server may run
    LinkOut,         // a link a web server may follow out of the tree
    WorldWritable,   // a folder anyone on the machine can put files in
    Leftover,        // editor and backup copies, with what the original held
};
constexpr int kExposureKinds = 6;

bool IsSerious(Exposure kind);
// "secret", "version control", ...: the word the reports and the JSON use.
std::string_view ExposureWord(Exposure kind);

// A rule that matched: the kind, and what the name or the content was taken for ("private
// key", ".env file", ...).
struct ExposureRule {
    Exposure kind;
    std::string what;
};

// A secret known by its name alone; `parentName` is the name of the folder that holds it
// (".aws/credentials"). Names are bytes as on disk; letters compare without case.
std::optional<ExposureRule> SecretByName(std::string_view name, std::string_view parentName);
// Whether a file of this name is read to see if it holds a private key: certificates and
// public keys share their endings with private keys.
bool MayHoldKey(std::string_view name);
// Whether the first bytes of a file are those of a private key (PEM, OpenSSH, PGP, PuTTY),
// alone or after certificates in the same file.
bool LooksLikePrivateKey(std::string_view head);
// How many first bytes are looked at: a chain of a few certificates before the key.
constexpr std::size_t kKeyHeadBytes = 16384;

// A version control folder (".git", ".svn", ...), by its name.
std::optional<ExposureRule> VersionControlFolder(std::string_view name);
// An editor's or a tool's copy of another file ("notes.txt~", ".config.php.swp").
std::optional<ExposureRule> Leftover(std::string_view name);
// A file in an upload folder that a web server may run or parse: a script by its name, or any
// file with an execute bit.
std::optional<ExposureRule> RunnableUpload(std::string_view name, mode_t mode);

// The secret rules applied to the file `name` of the open folder `folder` (a name rule, else
// a look at its first bytes when its name says it may hold a key). Reads without following a
// link and never blocks on a pipe.
std::optional<ExposureRule> SecretFile(int folder, std::string_view name,
                                       std::string_view parentName);

}  // namespace tabulo
