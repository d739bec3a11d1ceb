#include "exposure/Exposure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "common/Descriptor.h"
#include "common/Text.h"

namespace tabulo {

namespace {

struct NamedRule {
    std::string_view name;  // lower case
    std::string_view what;
};

// Files that hold passwords or keys whatever they contain.
constexpr std::array<NamedRule, 22> kSecretNames = {{
    {"id_rsa", "private SSH key"},
    {"id_dsa", "private SSH key"},
    {"id_ecdsa", "private SSH key"},
    {"id_ed25519", "private SSH key"},
    {"id_ecdsa_sk", "private SSH key"},
    {"id_ed25519_sk", "private SSH key"},
    {".env", "environment file with settings and passwords"},
    {".htpasswd", "web server password file"},
    {".htdigest", "web server password file"},
    {".netrc", "login file"},
    {".pgpass", "database password file"},
    {".my.cnf", "database password file"},
    {".git-credentials", "stored Git passwords"},
    {".s3cfg", "cloud credentials"},
    {".boto", "cloud credentials"},
    {".dockercfg", "registry credentials"},
    {".pypirc", "package index credentials"},
    {".npmrc", "package registry token"},
    {"application_default_credentials.json", "cloud credentials"},
    {"terraform.tfstate", "infrastructure state with its secrets"},
    {"wp-config.php.bak", "backup of a site's database password"},
    {"secrets.yml", "application secrets"},
}};

// Endings of files that are secrets by their kind.
constexpr std::array<NamedRule, 18> kSecretEndings = {{
    {".ppk", "private PuTTY key"},
    {".p12", "key store"},
    {".pfx", "key store"},
    {".jks", "key store"},
    {".keystore", "key store"},
    {".kdbx", "password database"},
    {".kdb", "password database"},
    {".psafe3", "password database"},
    {".tfstate", "infrastructure state with its secrets"},
    {".sql", "database dump"},
    {".sql.gz", "database dump"},
    {".sql.bz2", "database dump"},
    {".sql.xz", "database dump"},
    {".sql.zst", "database dump"},
    {".sqlite", "database file"},
    {".sqlite3", "database file"},
    {".db3", "database file"},
    {".mdb", "database file"},
}};

// Files of a cloud tool's own folder.
struct FolderRule {
    std::string_view folder, name, what;
};
constexpr std::array<FolderRule, 3> kSecretsInFolders = {{
    {".aws", "credentials", "cloud credentials"},
    {".aws", "config", "cloud settings"},
    {".docker", "config.json", "registry credentials"},
}};

// Environment files meant to be copied and filled in: they hold no values.
constexpr std::array<std::string_view, 5> kEnvTemplates = {".env.example", ".env.sample",
                                                           ".env.template", ".env.dist",
                                                           ".env.defaults"};

constexpr std::array<NamedRule, 6> kVersionControl = {{
    {".git", "Git repository"},
    {".svn", "Subversion working copy"},
    {".hg", "Mercurial repository"},
    {".bzr", "Bazaar repository"},
    {"cvs", "CVS working copy"},
    {"_darcs", "Darcs repository"},
}};

constexpr std::array<NamedRule, 8> kLeftoverEndings = {{
    {"~", "editor backup"},
    {".swp", "editor swap file"},
    {".swo", "editor swap file"},
    {".bak", "backup copy"},
    {".old", "backup copy"},
    {".orig", "copy left by a merge"},
    {".rej", "copy left by a patch"},
    {".save", "editor backup"},
}};

// Server-parsed or run by a web server when it is asked for them.
constexpr std::array<std::string_view, 20> kRunnableEndings = {
    ".php",  ".php3", ".php4", ".php5",  ".php7", ".php8", ".phtml", ".phar", ".pht",  ".cgi",
    ".pl",   ".py",   ".sh",   ".shtml", ".asp",  ".aspx", ".jsp",   ".jspx", ".fcgi", ".htm.php",
};
constexpr std::array<std::string_view, 2> kRunnableNames = {".htaccess", ".user.ini"};

bool endsWith(std::string_view lower, std::string_view ending) {
    return lower.size() > ending.size() && lower.ends_with(ending);
}

}  // namespace

bool IsSerious(Exposure kind) {
    return kind == Exposure::Secret || kind == Exposure::VersionControl;
}

std::string_view ExposureWord(Exposure kind) {
    switch (kind) {
        case Exposure::Secret: return "secret";
        case Exposure::VersionControl: return "version control";
        case Exposure::UploadRunnable: return "runnable upload";
        case Exposure::LinkOut: return "link out of the tree";
        case Exposure::WorldWritable: return "world-writable folder";
        case Exposure::Leftover: return "leftover copy";
    }
    return "finding";
}

std::optional<ExposureRule> SecretByName(std::string_view name, std::string_view parentName) {
    const std::string lower = asciiLower(name);
    for (const NamedRule& rule : kSecretNames)
        if (lower == rule.name) return ExposureRule{Exposure::Secret, std::string(rule.what)};
    if (lower.starts_with(".env.") &&
        std::find(kEnvTemplates.begin(), kEnvTemplates.end(), lower) == kEnvTemplates.end())
        return ExposureRule{Exposure::Secret, "environment file with settings and passwords"};
    for (const NamedRule& rule : kSecretEndings)
        if (endsWith(lower, rule.name)) return ExposureRule{Exposure::Secret, std::string(rule.what)};
    const std::string parent = asciiLower(parentName);
    for (const FolderRule& rule : kSecretsInFolders)
        if (parent == rule.folder && lower == rule.name)
            return ExposureRule{Exposure::Secret, std::string(rule.what)};
    return std::nullopt;
}

bool MayHoldKey(std::string_view name) {
    const std::string lower = asciiLower(name);
    // Few files have these names, so a run that leaves secrets out of its pages reads few.
    for (std::string_view ending : {".pem", ".key", ".priv", ".asc"})
        if (endsWith(lower, ending)) return true;
    return lower.starts_with("id_");
}

bool LooksLikePrivateKey(std::string_view head) {
    // A byte-order mark or blank lines before the armour do not make it less of a key.
    if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
    while (!head.empty() && (head.front() == '\r' || head.front() == '\n' || head.front() == ' '))
        head.remove_prefix(1);
    if (head.starts_with("PuTTY-User-Key-File-")) return true;
    if (!head.starts_with("-----BEGIN ")) return false;
    // A bundle may hold its certificates first and the key after them.
    for (std::size_t at = 0; at < head.size();) {
        const std::size_t end = std::min(head.find_first_of("\r\n", at), head.size());
        const std::string_view line = head.substr(at, end - at);
        if (line.starts_with("-----BEGIN ") && line.find("PRIVATE KEY") != std::string_view::npos)
            return true;
        at = end + 1;
    }
    return false;
}

std::optional<ExposureRule> VersionControlFolder(std::string_view name) {
    const std::string lower = asciiLower(name);
    for (const NamedRule& rule : kVersionControl) {
        // "CVS" is a word too: only the upper-case name is the tool's.
        if (rule.name == "cvs" ? name == "CVS" : lower == rule.name)
            return ExposureRule{Exposure::VersionControl, std::string(rule.what)};
    }
    return std::nullopt;
}

std::optional<ExposureRule> Leftover(std::string_view name) {
    const std::string lower = asciiLower(name);
    if (lower == ".ds_store") return ExposureRule{Exposure::Leftover, "Finder file listing names"};
    if (lower.size() > 2 && lower.front() == '#' && lower.back() == '#')
        return ExposureRule{Exposure::Leftover, "editor autosave"};
    for (const NamedRule& rule : kLeftoverEndings)
        if (endsWith(lower, rule.name)) return ExposureRule{Exposure::Leftover, std::string(rule.what)};
    return std::nullopt;
}

std::optional<ExposureRule> RunnableUpload(std::string_view name, mode_t mode) {
    const std::string lower = asciiLower(name);
    for (std::string_view runnable : kRunnableNames)
        if (lower == runnable) return ExposureRule{Exposure::UploadRunnable, "server settings file"};
    for (std::string_view ending : kRunnableEndings)
        if (endsWith(lower, ending)) return ExposureRule{Exposure::UploadRunnable, "server-side script"};
    if ((mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0)
        return ExposureRule{Exposure::UploadRunnable, "executable file"};
    return std::nullopt;
}

std::optional<ExposureRule> SecretFile(int folder, std::string_view name,
                                       std::string_view parentName) {
    if (auto rule = SecretByName(name, parentName)) return rule;
    if (!MayHoldKey(name)) return std::nullopt;
    const std::string path(name);
    Descriptor file(::openat(folder, path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!file || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string head(kKeyHeadBytes, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
        ssize_t n = ::pread(file.get(), head.data() + got, head.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (!LooksLikePrivateKey(std::string_view(head).substr(0, got))) return std::nullopt;
    return ExposureRule{Exposure::Secret, "private key"};
}

}  // namespace tabulo
