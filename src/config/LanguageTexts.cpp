#include "LanguageTexts.h"

#include <tinyxml.h>

#include "TextConversion.h"

namespace {

// The text of an element: the value of its first child when that is a text node (CDATA
// included); nullptr otherwise.
const char* ElementText(const TiXmlNode* node) {
    if (node == nullptr)
        return nullptr;
    const TiXmlNode* child = node->FirstChild();
    if (child == nullptr || child->ToText() == nullptr)
        return nullptr;
    return child->Value();
}

void StoreText(const TiXmlHandle& element, std::string& text) {
    if (const char* value = ElementText(element.ToElement()))
        text = ConvertUtf8ToAnsi(value);
}

// The first child of `parent`, which must be an element, and its sibling elements fill `texts`
// in order; an element without text only moves on to the next position. Elements beyond the
// last position are left unread.
template <std::size_t N>
void StoreTexts(const TiXmlHandle& parent, std::array<std::string, N>& texts) {
    const TiXmlElement* element = parent.FirstChild().ToElement();
    for (std::size_t position = 0; element != nullptr && position < N;
         element = element->NextSiblingElement(), ++position) {
        if (const char* value = ElementText(element))
            texts[position] = ConvertUtf8ToAnsi(value);
    }
}

}  // namespace

bool LoadLanguageTexts(LanguageTexts& texts, const char* path) {
    TiXmlDocument document;
    if (path == nullptr || !document.LoadFile(path))
        return false;

    const TiXmlHandle root = TiXmlHandle(&document).FirstChild("Quorlin");
    StoreText(root.FirstChild("TitleName"), texts.title);
    StoreTexts(root.FirstChild("ListCtrlColumnTitle"), texts.columnTitles);
    StoreTexts(root.FirstChild("Buttons"), texts.controlTexts);
    StoreText(root.FirstChild("MessageCaption"), texts.messageCaption);
    StoreText(root.FirstChild("MessageOKText"), texts.successText);
    StoreText(root.FirstChild("MessageErrorText"), texts.failureText);
    return true;
}
