#pragma once
// Makes a release: lists what a release directory holds and writes its
// manifest.json, which the server then loads (see release.h).
//
// Every regular file below the directory is listed by its path relative to
// it, with '/' between folders; a folder that has nothing listed below it is
// listed as a directory item ("plugins/"), so that the updater creates it.
// What the updater does with an item follows from its name alone: a ".zip"
// (any case) is unpacked into the program directory, whichever folder it
// sits in; anything else is copied to the same relative place. The items
// are in byte order of their names, which is the order in which the updater
// applies them.
//
// Refused, naming the path: a name the updater would refuse or the server
// would not load, a backslash in a name (the updater reads it as a folder
// separator), a name that is not UTF-8, a link that is broken, leads outside
// the directory or leads to a folder, anything that is neither a file nor a
// folder, and a release with nothing to list.

#include <string>
#include <vector>

namespace brenvik::server {

struct ManifestItem {
    enum class Kind { directory, file, archive };
    std::string name;
    Kind kind = Kind::file;
};

struct ManifestRequest {
    std::string directory;
    std::string version;  // dotted, as the server compares them
    std::string notes;
    // Shell patterns; one without '/' is matched against every file and
    // folder name, one with '/' against the whole relative path. An
    // excluded folder is left out with everything below it.
    std::vector<std::string> excludes;
    bool replace = false;  // replace an existing manifest.json
};

// The items of `request.directory`, as they would be written; on failure
// `error` says why and the result is empty.
std::vector<ManifestItem> scanRelease(const ManifestRequest& request, std::string& error);

// The manifest's text for these items.
std::string manifestText(const std::string& version, const std::string& notes, const std::vector<ManifestItem>& items);

// Scans the directory and writes manifest.json into it, whole or not at all
// (a temporary file moved into place); `items` gets what was listed.
bool writeManifest(const ManifestRequest& request, std::vector<ManifestItem>& items, std::string& error);

}  // namespace brenvik::server
