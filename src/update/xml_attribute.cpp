#include "update/xml_attribute.h"

#include <tinyxml2.h>

#include "platform/file_io.h"

std::optional<std::string> ReadRootAttribute(const std::string& path, const char* rootElement,
                                             const char* attribute) {
    UniqueFile file = OpenFile(path, "rb");
    if (!file) return std::nullopt;
    tinyxml2::XMLDocument document;
    if (document.LoadFile(file.get()) != tinyxml2::XML_SUCCESS) return std::nullopt;
    const tinyxml2::XMLElement* root = document.FirstChildElement(rootElement);
    if (root == nullptr) return std::nullopt;
    const char* value = root->Attribute(attribute);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}
