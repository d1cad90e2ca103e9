// SPDX-License-Identifier: MIT
// KeloSettings: the values of a settings file as maps of combined keys
// ("section/key"), and the XML document (TinyXML) they are read from and
// written into.
#include <keloutil/kelosettings.hpp>

#include "guarded.h"
#include "platform/os.h"
#include "settings_locks.h"
#include "xml_text.h"

#include <tinyxml.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>

using keloutil::FolderLock;
using keloutil::SettingsLock;

namespace {

const char* const root_name = "KeloSettings";
const char* const section_name = "Section";
const char* const section_attribute = "Name";
const char* const data_name = "Data";
const char* const key_attribute = "Key";

const str_t* record_of(const TStr& s) { return static_cast<const str_t*>(s.handle()); }

// The UTF-8 bytes a string holds, read in place (nothing is allocated).
std::string_view view(const TStr& s) {
    const str_t* record = record_of(s);
    if (str_null(record)) return {};
    return {record->buffer, static_cast<size_t>(str_len(record))};
}
std::string_view view(std::string_view text) { return text; }

// Values by combined key. The key is kept as plain text: it is compared at
// every lookup, and std::string compares the bytes of the UTF-8 text (the
// order of TStr's "<") without measuring them first. std::less<> lets a
// lookup take any text without copying it.
using Values = std::map<std::string, TStr, std::less<>>;
using Elements = std::map<TStr, TiXmlElement*>;

TStr from_view(std::string_view text) { return TStr(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8); }

// Whether a string could not be made (memory ran out): it has no text
// although its source had one.
bool lost(const TStr& made, std::string_view source) { return made.isNull() && source.data() != nullptr; }

// The text of a string for TinyXML: "" for a null string, nullptr when
// memory runs out.
const char* xml_text(const TStr& s) { return s.isNull() ? "" : s.toUtf8(); }

// section + "/" + key; empty when either is empty.
std::string combined_key(const TStr& section, const TStr& key) {
    if (section.isEmpty() || key.isEmpty()) return std::string();
    std::string text(view(section));
    text += '/';
    text += view(key);
    return text;
}

// The key that getSection reports: the part after the last "/".
std::string_view last_part(std::string_view combined) { return combined.substr(combined.rfind('/') + 1); }

// Whether a combined key belongs to a section as getSection and
// removeSection match it: it contains "section/" anywhere.
template <class Text>
bool in_section(const Text& combined, std::string_view prefix) {
    return view(combined).find(prefix) != std::string_view::npos;
}

// Puts copies of key and value into `map`, replacing an entry; false, with
// the map unchanged, when memory runs out.
bool put(Values& map, std::string_view key, const TStr& value) {
    std::string key_copy(key);
    TStr value_copy(value);
    if (lost(value_copy, view(value))) return false;
    map.insert_or_assign(std::move(key_copy), std::move(value_copy));
    return true;
}

// Parses a settings document, always as UTF-8.
bool parse_document(TiXmlDocument& document, std::string& text) {
    return keloutil::xml_within_limits(text, keloutil::settings_max_depth, keloutil::settings_max_attributes) &&
           keloutil::parse_xml_text(document, text, TIXML_ENCODING_UTF8);
}

bool load_document(TiXmlDocument& document, FILE* stream) {
    std::string text;
    return keloutil::read_xml_text(stream, text) && parse_document(document, text);
}

// Whether TinyXML prints the declaration back as it was read. Its printer
// writes the values between double quotes without escaping them, so a value
// holding a quote or markup (a reference such as "&quot;" read as '"', or
// "?>") would end the declaration early and the file would not read again.
// Such a declaration is replaced by the standard one.
bool printable(const TiXmlDeclaration& declaration) {
    for (const char* value : {declaration.Version(), declaration.Encoding(), declaration.Standalone()})
        if (value != nullptr && std::strpbrk(value, "\"<>&") != nullptr) return false;
    return true;
}

// The writer that write_whole_file calls: it must not throw through the
// seam, which then removes what was written (printing needs memory).
bool write_document(FILE* stream, void* document) {
    return keloutil::guarded(false, [&] { return static_cast<TiXmlDocument*>(document)->SaveFile(stream); });
}

// body(state) under the library's guard: false without a state (memory ran
// out when the object was made) or when the body throws.
template <class State, class Body>
bool with_state(State* state, Body body) noexcept {
    return state != nullptr && keloutil::guarded(false, [&] { return body(*state); });
}

} // namespace

struct KeloSettings::State {
    // Tab size 0 switches off the parser's row and column counting, which
    // serves only error messages that nobody reads here.
    explicit State(bool open_access) : openAccess(open_access) { document.SetTabSize(0); }

    bool openAccess;
    bool loaded = false;
    TPath path; // remembered for save's re-read
    TiXmlDocument document;
    TiXmlElement* root = nullptr;
    Values stored;
    Values pendingSets;
    Values pendingRemovals;
    Elements sectionCache; // by section name
    Elements dataCache;    // by section name + "/" + key
    // Sections whose Data elements are all in the data cache, so that a miss
    // there is an answer and setting many keys stays linear; true when the
    // section holds a key twice (a removal then has to look again).
    std::map<const TiXmlElement*, bool> indexedSections;

    void reset(bool keepChanges);
    bool open(const TPath& file, bool keepChanges, bool takeLock);
    bool save(const TPath& file);
    bool remember(const TPath& file);
    bool createEmpty();
    bool readDocument();
    bool readValues();
    bool applyPending();
    bool setInDocument(const std::string& section, const std::string& key, const TStr& value);
    void removeFromDocument(const std::string& section, const std::string& key);
    TiXmlElement* findSection(const std::string& name);
    TiXmlElement* findData(TiXmlElement* section, const std::string& key);
    bool indexSection(TiXmlElement* section);
    bool visible(std::string_view combined, const TStr*& value) const;
};

void KeloSettings::State::reset(bool keepChanges) {
    loaded = false;
    document.Clear();
    root = nullptr;
    sectionCache.clear();
    dataCache.clear();
    indexedSections.clear();
    stored.clear();
    if (keepChanges) return;
    path = TPath();
    pendingSets.clear();
    pendingRemovals.clear();
}

bool KeloSettings::State::remember(const TPath& file) {
    path = file;
    return path.length() == file.length();
}

// Reads `file`, under its settings lock when `takeLock` is set (save calls
// it already holding that lock), or starts an empty document when the file
// does not exist.
bool KeloSettings::State::open(const TPath& file, bool keepChanges, bool takeLock) {
    if (file.isEmpty()) return false;
    reset(keepChanges);
    // TPath::exists also answers false when it runs out of memory; a file
    // that is there must not be taken for a missing one, or save would
    // replace it with the pending values alone.
    if (!file.exists() && !keloutil::os::file_exists(record_of(file))) {
        if (!createEmpty() || (!keepChanges && !remember(file))) {
            reset(keepChanges); // memory ran out: nothing is loaded
            return false;
        }
        return !path.isEmpty(); // with keepChanges, whether a path is remembered
    }
    const TStr& locked = takeLock ? static_cast<const TStr&>(file) : TStr::null;
    const SettingsLock lock(locked);
    const FolderLock folder(locked);
    // A save that died while writing the file in place is undone first.
    if (takeLock && !keloutil::os::restore_interrupted_write(record_of(file))) return false;
    FILE* stream = keloutil::os::open_regular_file(record_of(file));
    if (stream == nullptr) return false;
    bool result = load_document(document, stream) && readDocument();
    std::fclose(stream);
    if (result && !keepChanges) result = remember(file);
    if (!result) reset(keepChanges); // a half-read document is not loaded
    return result;
}

bool KeloSettings::State::createEmpty() {
    document.Clear();
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", "yes"));
    root = document.LinkEndChild(new TiXmlElement(root_name))->ToElement();
    loaded = root != nullptr;
    return loaded;
}

// Fills the stored values from the parsed document; a document that
// cannot be read whole leaves none.
bool KeloSettings::State::readDocument() {
    if (keloutil::guarded(false, [this] { return readValues(); })) return true;
    loaded = false;
    stored.clear();
    return false;
}

// The body of readDocument; the first value of a combined key wins.
bool KeloSettings::State::readValues() {
    loaded = false;
    TiXmlNode* first = document.FirstChild();
    const TiXmlDeclaration standard("1.0", "UTF-8", "yes");
    if (first != nullptr && first->Type() != TiXmlNode::TINYXML_DECLARATION)
        document.InsertBeforeChild(first, standard);
    else if (first != nullptr && !printable(*first->ToDeclaration()))
        document.ReplaceChild(first, standard);
    root = document.FirstChildElement(root_name);
    if (root == nullptr) return false;
    if (root->NoChildren()) return loaded = true;
    std::string combined;
    for (TiXmlElement* section = root->FirstChildElement(section_name); section != nullptr;
         section = section->NextSiblingElement(section_name)) {
        const char* name = section->Attribute(section_attribute);
        if (name == nullptr || *name == '\0') continue;
        for (TiXmlElement* data = section->FirstChildElement(data_name); data != nullptr;
             data = data->NextSiblingElement(data_name)) {
            const char* key = data->Attribute(key_attribute);
            if (key == nullptr || *key == '\0') continue;
            combined.assign(name).append(1, '/').append(key);
            // Files that save wrote hold their keys in order: those go to the
            // end of the map at once; others are looked up.
            const bool in_order = stored.empty() || std::prev(stored.end())->first < combined;
            const auto place = in_order ? stored.end() : stored.lower_bound(combined);
            if (place != stored.end() && place->first == combined) continue; // the first value wins
            const char* text = data->GetText();
            TStr value(text != nullptr ? text : "");
            if (value.isNull()) { // memory ran out
                stored.clear();
                return false;
            }
            stored.emplace_hint(place, combined, std::move(value));
        }
    }
    loaded = !stored.empty();
    return loaded;
}

// Lays the pending sets, then the pending removals, each in key order, on
// the document. A combined key is split at its last two "/": "a/b/c" is
// key "c" of section "b". false when not loaded or memory runs out.
bool KeloSettings::State::applyPending() {
    if (!loaded) return false;
    const auto split = [](std::string_view combined, std::string& section, std::string& key) {
        std::string_view rest = combined;
        const size_t last = rest.rfind('/');
        key = rest.substr(last + 1);
        rest = rest.substr(0, last == std::string_view::npos ? 0 : last);
        section = rest.substr(rest.rfind('/') + 1);
    };
    std::string section, key;
    for (const auto& [combined, value] : pendingSets) {
        split(combined, section, key);
        if (!setInDocument(section, key, value)) return false;
    }
    for (const auto& removal : pendingRemovals) {
        split(removal.first, section, key);
        removeFromDocument(section, key);
    }
    return true;
}

// Sets the text of the first Data element of `key` in the first Section of
// `section`, creating either element at the end when it is missing. false
// only when memory runs out.
bool KeloSettings::State::setInDocument(const std::string& section, const std::string& key, const TStr& value) {
    if (section.empty() || key.empty() || value.isEmpty() || root == nullptr) return true;
    const char* text = xml_text(value);
    if (text == nullptr) return false;
    TiXmlElement* section_element = findSection(section);
    if (section_element == nullptr) {
        section_element = root->LinkEndChild(new TiXmlElement(section_name))->ToElement();
        section_element->SetAttribute(section_attribute, section.c_str());
    }
    TiXmlElement* data = findData(section_element, key);
    if (data != nullptr && data->FirstChild() != nullptr) {
        // Only a text child is replaced; other content is left alone.
        TiXmlNode* child = data->FirstChild();
        if (child->ToText() != nullptr) data->ReplaceChild(child, TiXmlText(text));
        return true;
    }
    // An empty Data element of the same key stays in front of the new one.
    data = section_element->LinkEndChild(new TiXmlElement(data_name))->ToElement();
    data->SetAttribute(key_attribute, key.c_str());
    data->LinkEndChild(new TiXmlText(text));
    const auto indexed = indexedSections.find(section_element);
    if (indexed != indexedSections.end()) {
        const TStr cache_key = from_view(section + "/" + key);
        if (cache_key.isNull()) { // memory ran out: the section is walked again
            indexedSections.erase(indexed);
        } else if (!dataCache.try_emplace(cache_key, data).second) {
            indexed->second = true; // the empty element in front stays the one found
        }
    }
    return true;
}

// Removes the Data element of `key` and, when that empties it, its Section;
// a removed element leaves its cache too.
void KeloSettings::State::removeFromDocument(const std::string& section, const std::string& key) {
    if (section.empty() || key.empty() || root == nullptr) return;
    TiXmlElement* section_element = findSection(section);
    TiXmlElement* data = section_element != nullptr ? findData(section_element, key) : nullptr;
    if (data == nullptr) return;
    const char* name = section_element->Attribute(section_attribute);
    dataCache.erase(from_view(std::string(name != nullptr ? name : "") + "/" + key));
    // Another element of the same key may now be the first one.
    const auto indexed = indexedSections.find(section_element);
    if (indexed != indexedSections.end() && indexed->second) indexedSections.erase(indexed);
    section_element->RemoveChild(data);
    if (!section_element->NoChildren()) return;
    sectionCache.erase(from_view(section));
    indexedSections.erase(section_element);
    root->RemoveChild(section_element);
}

// The first Section named `name`, remembered in the section cache.
TiXmlElement* KeloSettings::State::findSection(const std::string& name) {
    const TStr cache_key = from_view(name); // null when memory runs out: not cached
    if (const auto hit = sectionCache.find(cache_key); !cache_key.isNull() && hit != sectionCache.end())
        return hit->second;
    for (TiXmlElement* section = root->FirstChildElement(section_name); section != nullptr;
         section = section->NextSiblingElement(section_name)) {
        const char* attribute = section->Attribute(section_attribute);
        if (attribute == nullptr || name != attribute) continue;
        if (!cache_key.isNull()) sectionCache.emplace(cache_key, section);
        return section;
    }
    return nullptr;
}

// The first Data of `key` in `section`, from the data cache, which holds
// every Data element of the section once it has been walked.
TiXmlElement* KeloSettings::State::findData(TiXmlElement* section, const std::string& key) {
    const char* name = section->Attribute(section_attribute);
    const std::string combined = std::string(name != nullptr ? name : "") + "/" + key;
    const TStr cache_key = from_view(combined);
    if (!cache_key.isNull()) {
        if (indexedSections.count(section) != 0 || indexSection(section)) {
            const auto hit = dataCache.find(cache_key);
            return hit != dataCache.end() ? hit->second : nullptr;
        }
    }
    // Memory ran out: walk without the cache.
    for (TiXmlElement* data = section->FirstChildElement(data_name); data != nullptr;
         data = data->NextSiblingElement(data_name)) {
        const char* attribute = data->Attribute(key_attribute);
        if (attribute != nullptr && key == attribute) return data;
    }
    return nullptr;
}

// Puts the first Data element of every key of `section` into the data
// cache; false when memory runs out before the walk is complete.
bool KeloSettings::State::indexSection(TiXmlElement* section) {
    const char* name = section->Attribute(section_attribute);
    const std::string prefix = std::string(name != nullptr ? name : "") + "/";
    std::string combined;
    bool duplicates = false;
    for (TiXmlElement* data = section->FirstChildElement(data_name); data != nullptr;
         data = data->NextSiblingElement(data_name)) {
        const char* attribute = data->Attribute(key_attribute);
        if (attribute == nullptr) continue;
        combined.assign(prefix).append(attribute);
        TStr cache_key = from_view(combined);
        if (cache_key.isNull()) return false;
        duplicates |= !dataCache.try_emplace(std::move(cache_key), data).second;
    }
    indexedSections.emplace(section, duplicates);
    return true;
}

// Whether the combined key has a visible value, and which.
bool KeloSettings::State::visible(std::string_view combined, const TStr*& value) const {
    if (pendingRemovals.count(combined) != 0) return false;
    auto found = pendingSets.find(combined);
    if (found == pendingSets.end() && (found = stored.find(combined)) == stored.end()) return false;
    value = &found->second;
    return true;
}

// ---- KeloSettings -------------------------------------------------------------------

// Without memory for the state, every operation fails.
KeloSettings::KeloSettings(bool openAccess)
    : mState(keloutil::guarded<State*>(nullptr, [openAccess] { return new State(openAccess); })) {}

KeloSettings::KeloSettings() : KeloSettings(false) {}

KeloSettings::~KeloSettings() { delete mState; }

bool KeloSettings::isLoaded() const { return mState != nullptr && mState->loaded; }

bool KeloSettings::open(const TPath& file, bool keepChanges) {
    return with_state(mState, [&](State& state) { return state.open(file, keepChanges, true); });
}

bool KeloSettings::parse(const TStr& text, bool keepChanges) {
    return with_state(mState, [&](State& state) -> bool {
        if (text.isEmpty()) return false;
        state.reset(keepChanges);
        const std::string_view utf8 = view(text);
        std::string padded(utf8);
        if (!parse_document(state.document, padded)) {
            state.reset(keepChanges);
            return false;
        }
        return state.readDocument();
    });
}

bool KeloSettings::save(const TPath& file) {
    return with_state(mState, [&](State& state) { return state.save(file); });
}

// The body of KeloSettings::save.
bool KeloSettings::State::save(const TPath& file) {
    State& state = *this;
    if (!state.loaded || file.isEmpty()) return false;
    // The re-read and the write happen under one hold of the file's lock, so
    // that no other process can save in between and have its values
    // overwritten. A re-read of another path takes that path's lock on its
    // own, before: holding two settings locks at once could deadlock with a
    // process that saves the other way round.
    const bool rereadSameFile = !state.path.isEmpty() && state.path == file;
    if (!state.path.isEmpty() && !rereadSameFile && !state.open(state.path, true, true)) return false;
    const SettingsLock lock(file);
    // The folder comes first, so that its lock has a folder to hold before
    // the file is read again. It gets the mode of any new folder (0777
    // before the umask; Windows has no modes).
    TPath directory = file.dirName();
    if (!directory.isEmpty() && !directory.exists() && !directory.mkpath(0777)) return false;
    const FolderLock folder(file);
    if (!keloutil::os::restore_interrupted_write(record_of(file))) return false;
    if (rereadSameFile && !state.open(state.path, true, false)) return false;

    if (!state.applyPending()) return false;
    // A document without any section is never written.
    if (state.root != nullptr && state.root->NoChildren()) return false;
    if (!keloutil::os::write_whole_file(record_of(file), write_document, &state.document)) return false;
    return !state.openAccess || keloutil::os::grant_open_access(record_of(file));
}

bool KeloSettings::getData(const TStr& section, const TStr& key, TStr& value) {
    return with_state(mState, [&](State& state) -> bool {
        value.clear();
        const std::string combined = combined_key(section, key);
        const TStr* found = nullptr;
        if (combined.empty() || !state.visible(combined, found)) return false;
        value = *found;
        return !lost(value, view(*found));
    });
}

bool KeloSettings::setData(const TStr& section, const TStr& key, const TStr& value) {
    return with_state(mState, [&](State& state) -> bool {
        if (value.isEmpty()) return false;
        const std::string combined = combined_key(section, key);
        if (combined.empty() || !put(state.pendingSets, combined, value)) return false;
        state.pendingRemovals.erase(combined);
        return true;
    });
}

bool KeloSettings::removeData(const TStr& section, const TStr& key) {
    return with_state(mState, [&](State& state) -> bool {
        const std::string combined = combined_key(section, key);
        if (combined.empty()) return false;
        const auto pending = state.pendingSets.find(combined);
        const auto stored = state.stored.find(combined);
        if (pending == state.pendingSets.end() && stored == state.stored.end()) return false;
        const TStr& value = pending != state.pendingSets.end() ? pending->second : stored->second;
        if (!put(state.pendingRemovals, combined, value)) return false;
        if (pending != state.pendingSets.end()) state.pendingSets.erase(pending);
        return true;
    });
}

bool KeloSettings::getSection(const TStr& section, std::map<TStr, TStr>& values) {
    if (with_state(mState, [&](State& state) -> bool {
            values.clear();
            if (section.isEmpty()) return false;
            const std::string prefix = std::string(view(section)) + "/";
            // Each matching value under the part of its key after the last "/":
            // stored values never overwrite, pending sets do.
            const auto add = [&](const Values& from, bool overwrite) {
                for (const auto& [combined, value] : from) {
                    const std::string_view name = last_part(view(combined));
                    if (name.empty() || !in_section(combined, prefix)) continue;
                    TStr reported = from_view(name), copy(value);
                    if (lost(reported, name) || lost(copy, view(value))) return false;
                    if (overwrite || values.count(reported) == 0) values.insert_or_assign(std::move(reported), std::move(copy));
                }
                return true;
            };
            const auto erase_removed = [&] {
                for (const auto& removal : state.pendingRemovals) {
                    if (!in_section(removal.first, prefix)) continue;
                    const std::string_view name = last_part(view(removal.first));
                    const TStr reported = from_view(name);
                    if (lost(reported, name)) return false;
                    values.erase(reported);
                }
                return true;
            };
            if (!add(state.stored, false) || !add(state.pendingSets, true) || !erase_removed()) {
                values.clear();
                return false;
            }
            return true;
        }))
        return true;
    values.clear();
    return false;
}

bool KeloSettings::removeSection(const TStr& section) {
    return with_state(mState, [&](State& state) -> bool {
        if (section.isEmpty()) return false;
        const std::string prefix = std::string(view(section)) + "/";
        // Collected whole before anything changes, so that running out of memory
        // leaves the store as it was; the nodes then move over without copies. A
        // pending value wins over the stored one.
        Values collected;
        for (const Values* from : {&state.pendingSets, &state.stored})
            for (const auto& [combined, value] : *from)
                if (in_section(combined, prefix) && collected.count(combined) == 0 && !put(collected, combined, value))
                    return false;
        while (!collected.empty()) {
            auto node = collected.extract(collected.begin());
            state.pendingSets.erase(node.key());
            state.pendingRemovals.erase(node.key());
            state.pendingRemovals.insert(std::move(node));
        }
        return true;
    });
}

bool KeloSettings::getAll(std::map<TStr, TStr>& values) {
    if (with_state(mState, [&](State& state) -> bool {
            values.clear();
            for (const Values* from : {&state.pendingSets, &state.stored})
                for (const auto& [combined, value] : *from) {
                    if (state.pendingRemovals.count(combined) != 0) continue;
                    TStr key = from_view(combined), copy(value);
                    if (lost(key, combined) || lost(copy, view(value))) {
                        values.clear();
                        return false;
                    }
                    values.try_emplace(std::move(key), std::move(copy)); // a pending value comes first and wins
                }
            return true;
        }))
        return true;
    values.clear();
    return false;
}
