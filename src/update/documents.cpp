#include "update/documents.h"

#include <tinyxml2.h>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "update/update_error.h"

namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

void Load(XMLDocument& document, const std::string& path, const std::string& label) {
    // Opened through the file-system layer, so the path is read as every other one is.
    const UniqueFile file = OpenFile(path, "rb");
    const tinyxml2::XMLError error = file ? document.LoadFile(file.get())
                                     : FileExists(path)
                                         ? tinyxml2::XML_ERROR_FILE_COULD_NOT_BE_OPENED
                                         : tinyxml2::XML_ERROR_FILE_NOT_FOUND;
    if (error == tinyxml2::XML_SUCCESS) return;
    if (error == tinyxml2::XML_ERROR_FILE_NOT_FOUND) throw InstallError(label + " is missing.");
    if (error == tinyxml2::XML_ERROR_FILE_COULD_NOT_BE_OPENED ||
        error == tinyxml2::XML_ERROR_FILE_READ_ERROR) {
        throw InstallError(label + " could not be read.");
    }
    throw InstallError(label + " is not a valid XML document (" +
                       XMLDocument::ErrorIDToName(error) + " at line " +
                       std::to_string(document.ErrorLineNum()) + ").");
}

const XMLElement& Root(const XMLDocument& document, const char* name, const std::string& label) {
    const XMLElement* root = document.FirstChildElement(name);
    if (root == nullptr) {
        throw InstallError(label + " has no \"" + std::string(name) + "\" element.");
    }
    return *root;
}

std::string Required(const XMLElement& element, const char* attribute, const std::string& label) {
    const char* value = element.Attribute(attribute);
    if (value == nullptr) {
        throw InstallError(label + " has a \"" + std::string(element.Name()) +
                           "\" element without the \"" + std::string(attribute) + "\" attribute.");
    }
    return value;
}

std::optional<std::string> Optional(const XMLElement& element, const char* attribute) {
    const char* value = element.Attribute(attribute);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::uint64_t ParseSize(const char* text, const std::string& label) {
    std::uint64_t size = 0;
    const char* c = text;
    for (; *c >= '0' && *c <= '9'; ++c) {
        const std::uint64_t digit = static_cast<std::uint64_t>(*c - '0');
        if (size > (UINT64_MAX - digit) / 10) break;
        size = size * 10 + digit;
    }
    if (c == text || *c != '\0')
        throw InstallError(label + " gives a file size that is not a number: \"" + text + "\".");
    return size;
}

template <typename Visit>
void ForEachChild(const XMLElement& parent, const char* name, Visit visit) {
    for (const XMLElement* child = parent.FirstChildElement(name); child != nullptr;
         child = child->NextSiblingElement(name)) {
        visit(*child);
    }
}

}  // namespace

VersionCatalogue LoadVersionCatalogue(const std::string& path, const std::string& label) {
    XMLDocument document;
    Load(document, path, label);
    const XMLElement& root = Root(document, "Versions", label);
    VersionCatalogue catalogue;
    catalogue.current = Required(root, "Current", label);
    ForEachChild(root, "Version", [&](const XMLElement& element) {
        CatalogueVersion version;
        version.value = Required(element, "Value", label);
        if (const char* type = element.Attribute("Type")) {
            version.type = type;
            version.hasType = true;
        }
        version.manifest.sha256 = Optional(element, "ManifestSha256");
        version.validationList.sha256 = Optional(element, "ValidateSha256");
        catalogue.versions.push_back(version);
    });
    return catalogue;
}

bool IsFullVersion(const CatalogueVersion& version, const std::string& label) {
    if (!version.hasType) {
        throw InstallError(label + " gives version " + version.value +
                           " without the \"Type\" attribute.");
    }
    return version.type == "Full";
}

std::string LoadInstalledVersion(const std::string& path, const std::string& label) {
    XMLDocument document;
    Load(document, path, label);
    return Required(Root(document, "Version", label), "Current", label);
}

void SaveInstalledVersion(const std::string& path, const std::string& version) {
    XMLDocument document;
    XMLElement* element = document.NewElement("Version");
    element->SetAttribute("Current", version.c_str());
    document.InsertFirstChild(element);
    tinyxml2::XMLPrinter printer;
    document.Print(&printer);
    try {
        WriteWholeFile(path, std::string(printer.CStr(), printer.CStrSize() - 1));
    } catch (const InstallError& error) {
        throw InstallError("The installed version could not be recorded. " +
                           std::string(error.what()));
    }
}

std::vector<ManifestFile> LoadInstallManifest(const std::string& path, const std::string& label) {
    XMLDocument document;
    Load(document, path, label);
    std::vector<ManifestFile> files;
    ForEachChild(Root(document, "Game_Manifest", label), "File", [&](const XMLElement& element) {
        ManifestFile file;
        file.package = Required(element, "package", label);
        file.name = Required(element, "name", label);
        file.checksum = Required(element, "checksum", label);
        if (const char* patch = element.Attribute("patch")) {
            file.patch = patch;
            file.hasPatch = true;
        }
        file.packageFacts.sha256 = Optional(element, "packageSha256");
        if (const char* size = element.Attribute("packageSize"))
            file.packageFacts.size = ParseSize(size, label);
        files.push_back(file);
    });
    return files;
}

ValidationList LoadValidationManifest(const std::string& path, const std::string& label) {
    XMLDocument document;
    Load(document, path, label);
    ValidationList list;
    ForEachChild(Root(document, "Game_Manifest", label), "File", [&](const XMLElement& element) {
        ListedFile& file = list[Required(element, "name", label)];
        file.checksum = Required(element, "checksum", label);
        file.size.reset();
        if (const char* size = element.Attribute("size")) file.size = ParseSize(size, label);
    });
    return list;
}
