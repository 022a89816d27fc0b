// DiscoveryDocument.h: the devices stored during the current discovery pass, kept as an XML tree
// (root "TREE", one "Node" per stored report), saved whole to its file after every addition and
// read back when a row of the device list is selected.
//
// Every operation takes the document's own lock, so a reload on the GUI thread never sees a
// half-built Node of an append running on the SDK's callback thread. Nothing here calls out while
// holding it: the callers (the dialog's AppendDeviceNode, ResetDiscoveryDocument,
// OnDeviceListItemChanged and close sequence) may run on any thread.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "ZQ_NetSDK.h"

class DiscoveryDocument {
public:
    // The list's column-0 text is read into a buffer of this size: a key holds at most
    // kKeyBufferSize - 1 bytes.
    static constexpr std::size_t kKeyBufferSize = 128;

    // `fileName` is where Append saves; a relative name is taken from the current directory.
    // There is no document until the first Reset.
    explicit DiscoveryDocument(std::string fileName = "Discovery.Xml");
    ~DiscoveryDocument();
    DiscoveryDocument(const DiscoveryDocument&) = delete;
    DiscoveryDocument& operator=(const DiscoveryDocument&) = delete;

    // A new pass: drops the old document and starts an empty one (the root "TREE" only). The
    // file keeps its previous content until the next Append.
    void Reset();

    // Records one report as the root's last Node, then replaces the file with the whole
    // document. Does nothing without a document. A failed save is ignored: the document in
    // memory is complete and the next Append saves again.
    void Append(const DiscoveredDevice& device);

    // Finds the first Node whose SN element's first attribute equals `key` byte for byte (the key
    // is taken up to its first zero byte and at most kKeyBufferSize - 1 bytes), zeroes `record`
    // and fills it from that Node by attribute position. Returns false, leaving `record` as it
    // was, when there is no document or no entry for the key.
    bool Reload(std::string_view key, DiscoveredDevice& record) const;

    // The close sequence: removes every node and drops the document. The file stays.
    void Delete();

    // Whether a document exists (between the first Reset and Delete).
    bool Exists() const;

    // Replaces the document with the one read from `path` (for tools and tests that look at a
    // saved file through the same reader). False, with the document unchanged, when the file
    // cannot be read or parsed.
    bool LoadFrom(const std::string& path);

    const std::string& FileName() const { return m_fileName; }

private:
    struct Tree;

    void SaveLocked() const;
    static bool PrintByNode(Tree& tree, std::string& text);

    const std::string m_fileName;
    mutable std::mutex m_mutex;
    std::unique_ptr<Tree> m_tree;
};
