#include "DiscoveryDocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "DeviceRecord.h"

// The tree, and the text TinyXML printed for each of its Nodes so far. A pass rewrites the file
// after every append; printing only the new Node and writing the kept text of the others gives
// the bytes SaveFile would write (the document prints each child and a line break, the root its
// children each after a line break, then a line break and its end tag) at a fraction of the
// cost. Only a tree made by Reset is printed this way; a loaded one is saved by SaveFile.
struct DiscoveryDocument::Tree {
    TiXmlDocument xml;
    bool printedByNode = false;
    std::string printedNodes;                // "\n" + each printed Node, in order
    const TiXmlNode* lastPrinted = nullptr;  // the last root child in printedNodes
};

namespace {

constexpr const char* kRootName = "TREE";
constexpr const char* kNodeName = "Node";

TiXmlElement* FindRoot(TiXmlDocument& xml) {
    return TiXmlHandle(&xml).FirstChild(kRootName).ToElement();
}

// Appends a new element named `name` to `parent`; nullptr when it cannot be made.
TiXmlElement* AppendElement(TiXmlNode& parent, const char* name) {
    auto* element = new (std::nothrow) TiXmlElement(name);
    if (element == nullptr)
        return nullptr;
    parent.LinkEndChild(element);
    return element;
}

void SetText(TiXmlElement& element, const char* name, std::string_view text) {
    element.SetAttribute(name, std::string(text));
}

bool AppendInterface(TiXmlElement& node, const char* name, const NetInterface& net) {
    TiXmlElement* element = AppendElement(node, name);
    if (element == nullptr)
        return false;
    SetText(*element, "IP", FieldText(net.IP));
    SetText(*element, "Mask", FieldText(net.Mask));
    SetText(*element, "GW", FieldText(net.GW));
    SetText(*element, "DNS1", FieldText(net.DNS1));
    SetText(*element, "DNS2", FieldText(net.DNS2));
    SetText(*element, "MAC", MacText(net.MAC));
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The MAC text read back: six hex numbers of one or two digits separated by colons. Reading stops
// at the first missing or malformed number or colon; octets not read stay as they are (zero).
void ParseMac(std::string_view text, uint8_t (&mac)[6]) {
    std::size_t at = 0;
    for (int octet = 0; octet < 6; ++octet) {
        if (octet > 0) {
            if (at >= text.size() || text[at] != ':')
                return;
            ++at;
        }
        int value = 0;
        int digits = 0;
        while (digits < 2 && at < text.size() && HexDigit(text[at]) >= 0) {
            value = value * 16 + HexDigit(text[at]);
            ++at;
            ++digits;
        }
        if (digits == 0)
            return;
        mac[octet] = static_cast<uint8_t>(value);
    }
}

// A port read back: the run of decimal digits the value begins with. The writer only ever puts
// 0..65535 there, with no sign or blank, so anything else is a value that was not written as a
// port: no leading digit (" 5", "-1", "x") gives 0, and so does a number above 65535 ("70000"),
// rather than a different port made by cutting it to 16 bits.
uint16_t ParsePort(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 65535)
            return 0;
    }
    return static_cast<uint16_t>(value);
}

// Fills fields from an element's attributes by position, whatever their names, until the element
// or the fields run out. `fill(position, value)` stores one.
template <typename Fill>
void ForEachAttribute(const TiXmlElement& node, const char* name, int fieldCount, Fill fill) {
    const TiXmlElement* element = node.FirstChildElement(name);
    if (element == nullptr)
        return;
    const TiXmlAttribute* attribute = element->FirstAttribute();
    for (int position = 0; position < fieldCount && attribute != nullptr; ++position) {
        fill(position, std::string_view(attribute->Value()));
        attribute = attribute->Next();
    }
}

void ReloadInterface(const TiXmlElement& node, const char* name, NetInterface& net) {
    char(*const addresses[])[16] = {&net.IP, &net.Mask, &net.GW, &net.DNS1, &net.DNS2};
    ForEachAttribute(node, name, 6, [&](int position, std::string_view value) {
        if (position < 5) {
            SetFieldText(*addresses[position], value);
        } else {
            ParseMac(value, net.MAC);
        }
    });
}

void ReloadNode(const TiXmlElement& node, DiscoveredDevice& record) {
    std::memset(&record, 0, sizeof record);
    ReloadInterface(node, "Eth0", record.Eth0);
    ReloadInterface(node, "Wifi", record.Wifi);
    ReloadInterface(node, "G3", record.G3);
    uint16_t* const ports[] = {&record.Port.Private, &record.Port.Http, &record.Port.Rtsp};
    ForEachAttribute(node, "Port", 3, [&](int position, std::string_view value) {
        *ports[position] = ParsePort(value);
    });
    ForEachAttribute(node, "SN", 1,
                     [&](int, std::string_view value) { SetFieldText(record.SN, value); });
    ForEachAttribute(node, "User", 2, [&](int position, std::string_view value) {
        if (position == 0) {
            SetFieldText(record.User.U, value);
        } else {
            SetFieldText(record.User.P, value);
        }
    });
    ForEachAttribute(node, "Model", 1,
                     [&](int, std::string_view value) { SetFieldText(record.Model, value); });
}

// Writes the document to a new file beside `target` and renames it over the target, so a reader
// (or a crash) only ever sees the old file or the new one whole. mkstemp creates the file with
// mode 0600: it holds the devices' user names and passwords. Not synced to disk: the rename is
// atomic for every process, and a sync per stored report would make a pass of 250 devices wait
// on the disk 250 times.
// What TinyXML prints for `node` at `depth`, or false when it could not be had.
bool PrintNode(const TiXmlNode& node, int depth, std::string& text) {
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* stream = ::open_memstream(&buffer, &size);
    if (stream == nullptr)
        return false;
    node.Print(stream, depth);
    const bool printed = std::fclose(stream) == 0;
    if (printed && buffer != nullptr)
        text.append(buffer, size);
    std::free(buffer);
    return printed;
}

void SaveAtomically(const TiXmlDocument& xml, const std::string* printed,
                    const std::string& target) {
    std::vector<char> temporary(target.begin(), target.end());
    static constexpr char kSuffix[] = ".XXXXXX";
    temporary.insert(temporary.end(), kSuffix, kSuffix + sizeof kSuffix);  // with the terminator
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(temporary.data());
        return;
    }
    bool written = printed != nullptr
                       ? std::fwrite(printed->data(), 1, printed->size(), file) == printed->size()
                       : xml.SaveFile(file);
    written = std::fflush(file) == 0 && written;
    written = std::ferror(file) == 0 && written;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.data(), target.c_str()) != 0) {
        ::unlink(temporary.data());
    }
}

}  // namespace

DiscoveryDocument::DiscoveryDocument(std::string fileName) : m_fileName(std::move(fileName)) {}

DiscoveryDocument::~DiscoveryDocument() = default;

void DiscoveryDocument::Reset() {
    std::lock_guard lock(m_mutex);
    if (m_tree) {
        m_tree->xml.Clear();
        m_tree.reset();
    }
    m_tree.reset(new (std::nothrow) Tree);
    if (!m_tree)
        return;
    m_tree->printedByNode = true;
    if (AppendElement(m_tree->xml, kRootName) == nullptr) {
        m_tree->xml.Clear();
        m_tree.reset();
    }
}

void DiscoveryDocument::Append(const DiscoveredDevice& device) {
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return;
    TiXmlElement* root = FindRoot(m_tree->xml);
    if (root == nullptr)
        return;

    // A Node left partial by an element that could not be made stays in the tree, unsaved.
    TiXmlElement* node = AppendElement(*root, kNodeName);
    if (node == nullptr)
        return;
    if (!AppendInterface(*node, "Eth0", device.Eth0))
        return;
    if (!AppendInterface(*node, "Wifi", device.Wifi))
        return;
    if (!AppendInterface(*node, "G3", device.G3))
        return;

    TiXmlElement* port = AppendElement(*node, "Port");
    if (port == nullptr)
        return;
    port->SetAttribute("Private", device.Port.Private);
    port->SetAttribute("Http", device.Port.Http);
    port->SetAttribute("Rtsp", device.Port.Rtsp);

    TiXmlElement* serial = AppendElement(*node, "SN");
    if (serial == nullptr)
        return;
    SetText(*serial, "A", FieldText(device.SN));

    TiXmlElement* user = AppendElement(*node, "User");
    if (user == nullptr)
        return;
    SetText(*user, "U", FieldText(device.User.U));
    SetText(*user, "P", FieldText(device.User.P));

    TiXmlElement* model = AppendElement(*node, "Model");
    if (model == nullptr)
        return;
    SetText(*model, "A", FieldText(device.Model));

    SaveLocked();
}

bool DiscoveryDocument::Reload(std::string_view key, DiscoveredDevice& record) const {
    // The key as the list's 128-byte text buffer holds it.
    key = key.substr(0, key.find('\0'));
    key = key.substr(0, kKeyBufferSize - 1);

    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return false;
    const TiXmlElement* root = FindRoot(m_tree->xml);
    if (root == nullptr)
        return false;
    for (const TiXmlElement* node = root->FirstChildElement(); node != nullptr;
         node = node->NextSiblingElement()) {
        const TiXmlElement* serial = node->FirstChildElement("SN");
        if (serial == nullptr || serial->FirstAttribute() == nullptr)
            continue;
        if (serial->FirstAttribute()->ValueStr() != key)
            continue;
        ReloadNode(*node, record);
        return true;
    }
    return false;
}

void DiscoveryDocument::Delete() {
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return;
    m_tree->xml.Clear();
    m_tree.reset();
}

bool DiscoveryDocument::Exists() const {
    std::lock_guard lock(m_mutex);
    return m_tree != nullptr;
}

bool DiscoveryDocument::LoadFrom(const std::string& path) {
    auto loaded = std::unique_ptr<Tree>(new (std::nothrow) Tree);
    if (!loaded || !loaded->xml.LoadFile(path))
        return false;
    std::lock_guard lock(m_mutex);
    m_tree = std::move(loaded);
    return true;
}

// The whole file as SaveFile would write it, from the kept text of the Nodes printed before
// and those appended since. False when the tree is not one this can print.
bool DiscoveryDocument::PrintByNode(Tree& tree, std::string& text) {
    if (!tree.printedByNode)
        return false;
    const TiXmlElement* root = tree.xml.FirstChildElement();
    if (root == nullptr || root != tree.xml.FirstChild() || root != tree.xml.LastChild() ||
        root->ValueStr() != kRootName || root->FirstAttribute() != nullptr)
        return false;
    const TiXmlNode* next =
        tree.lastPrinted != nullptr ? tree.lastPrinted->NextSibling() : root->FirstChild();
    for (; next != nullptr; next = next->NextSibling()) {
        if (next->ToText() != nullptr)
            return false;
        std::string node = "\n";
        if (!PrintNode(*next, 1, node))
            return false;
        tree.printedNodes += node;
        tree.lastPrinted = next;
    }
    if (root->FirstChild() == nullptr) {
        text = "<TREE />\n";
    } else {
        text.reserve(tree.printedNodes.size() + 16);
        text = "<TREE>";
        text += tree.printedNodes;
        text += "\n</TREE>\n";
    }
    return true;
}

void DiscoveryDocument::SaveLocked() const {
    std::string printed;
    const bool byNode = PrintByNode(*m_tree, printed);
    SaveAtomically(m_tree->xml, byNode ? &printed : nullptr, m_fileName);
}
