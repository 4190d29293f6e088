#include "merge/CPdfLayerMerge.h"

#include <string>
#include <unordered_map>
#include <utility>

#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "text/CPdfTextEdit.h"
#include "text/CPdfValueWriter.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"

namespace {

// The state a configuration starts every group in: OFF only when it says
// so. /Unchanged keeps the state groups start in, which is ON.
bool StartsOn(const CPdfObject& config)
{
    if (config.GetKind() != OBJ_DICTIONARY)
        return true;
    CPdfObject base;
    config.GetDictionary()->Lookup("BaseState", base);
    return !(base.GetKind() == OBJ_NAME && std::string(base.GetText()) == "OFF");
}

// Calls f(element as written) for each element of the array value of key
// in dict (dereferenced); nothing when it is not an array.
template <typename F>
void ForEachIn(const CPdfObject& dict, const char* key, F&& f)
{
    if (dict.GetKind() != OBJ_DICTIONARY)
        return;
    CPdfObject array;
    dict.GetDictionary()->Lookup(key, array);
    if (array.GetKind() != OBJ_ARRAY)
        return;
    for (int32_t i = 0; i < array.GetArray()->GetSize(); ++i) {
        CPdfObject element;
        array.GetArray()->GetRaw(i, element);
        f(element);
    }
}

bool HasArray(const CPdfObject& dict, const char* key)
{
    return dict.GetKind() == OBJ_DICTIONARY && dict.GetDictionary()->HasArray(key);
}

}  // namespace

void CPdfLayerMerge::Plan(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    for (size_t k = 0; k < parts.size(); ++k) {
        Layers layers;
        layers.part = k;
        parts[k].CatalogValue("OCProperties", layers.properties);
        if (layers.properties.GetKind() != OBJ_DICTIONARY)
            continue;
        layers.properties.GetDictionary()->Lookup("D", layers.config);
        m_layers.push_back(std::move(layers));
    }
    // Only the first document has layers (or none has): they stay as they were.
    if (m_layers.empty() || m_layers.back().part == 0) {
        m_layers.clear();
        return;
    }
    const bool resultOn = StartsOn(m_layers.front().config);
    for (size_t i = 0; i < m_layers.size(); ++i) {
        Layers& layers = m_layers[i];
        const size_t k = layers.part;
        // Each group's state in its own default configuration: the base
        // state, then /ON, then /OFF (the last word wins, as viewers read it).
        std::unordered_map<int32_t, bool> on;
        const bool startsOn = StartsOn(layers.config);
        ForEachIn(layers.config, "ON", [&](const CPdfObject& g) {
            if (g.GetKind() == OBJ_REFERENCE)
                on[g.GetRefNum()] = true;
        });
        ForEachIn(layers.config, "OFF", [&](const CPdfObject& g) {
            if (g.GetKind() == OBJ_REFERENCE)
                on[g.GetRefNum()] = false;
        });
        std::unordered_map<int32_t, bool> listed;
        ForEachIn(layers.properties, "OCGs", [&](const CPdfObject& g) {
            if (g.GetKind() != OBJ_REFERENCE)
                return;
            if (k > 0)
                plan.KeepOwn(k, g.GetRefNum());
            // The first configuration's own lists say it for its groups.
            if (i == 0 || !listed.emplace(g.GetRefNum(), true).second)
                return;
            const auto it = on.find(g.GetRefNum());
            const bool state = it == on.end() ? startsOn : it->second;
            if (state != resultOn)
                (state ? layers.on : layers.off).push_back(g);
        });
    }
    m_number = plan.NewObject();
    plan.SetKey(0, parts[0].catalog, "/OCProperties", CPdfTextEdit::Reference(m_number, 0));
}

void CPdfLayerMerge::Write(CPdfMergeOutput& output)
{
    if (m_number == 0)
        return;
    const Layers& first = m_layers.front();
    const CPdfValueWriter writer = output.WriterFor(first.part);
    // key's array of every input, joined; with orderFallback an input that
    // has none gives its /OCGs instead.
    auto joined = [&](const char* key, bool orderFallback, std::string& out) {
        bool any = false;
        for (const Layers& layers : m_layers)
            any = any || HasArray(layers.config, key);
        if (!any)
            return;
        CPdfValueWriter::WriteName(key, out);
        out += "[";
        for (const Layers& layers : m_layers) {
            const CPdfValueWriter w = output.WriterFor(layers.part);
            const auto write = [&](const CPdfObject& element) { w.Write(element, out); };
            if (HasArray(layers.config, key))
                ForEachIn(layers.config, key, write);
            else if (orderFallback)
                ForEachIn(layers.properties, "OCGs", write);
        }
        out += "]";
    };

    std::string body = "<</OCGs[";
    for (const Layers& layers : m_layers) {
        const CPdfValueWriter w = output.WriterFor(layers.part);
        ForEachIn(layers.properties, "OCGs", [&](const CPdfObject& g) { w.Write(g, body); });
    }
    body += "]/D<<";
    auto states = [&](const char* key, std::vector<CPdfObject> Layers::*extra) {
        bool any = HasArray(first.config, key);
        for (const Layers& layers : m_layers)
            any = any || !(layers.*extra).empty();
        if (!any)
            return;
        CPdfValueWriter::WriteName(key, body);
        body += "[";
        ForEachIn(first.config, key, [&](const CPdfObject& g) { writer.Write(g, body); });
        for (const Layers& layers : m_layers) {
            const CPdfValueWriter w = output.WriterFor(layers.part);
            for (const CPdfObject& g : layers.*extra)
                w.Write(g, body);
        }
        body += "]";
    };
    states("ON", &Layers::on);
    states("OFF", &Layers::off);
    joined("Order", true, body);
    joined("RBGroups", false, body);
    joined("Locked", false, body);
    joined("AS", false, body);
    if (first.config.GetKind() == OBJ_DICTIONARY) {
        first.config.GetDictionary()->ForEachRaw([&](const std::string& key, const CPdfObject& value) {
            static const char* const kJoined[] = {"ON", "OFF", "Order", "RBGroups", "Locked", "AS"};
            for (const char* j : kJoined)
                if (key == j)
                    return;
            if (value.GetKind() == OBJ_NULL)
                return;
            CPdfValueWriter::WriteName(key, body);
            writer.Write(value, body);
        });
    }
    body += ">>";
    // The first input's other entries (/Configs) as they were.
    first.properties.GetDictionary()->ForEachRaw([&](const std::string& key, const CPdfObject& value) {
        if (key == "OCGs" || key == "D" || value.GetKind() == OBJ_NULL)
            return;
        CPdfValueWriter::WriteName(key, body);
        writer.Write(value, body);
    });
    body += ">>";
    output.WriteNewObject(m_number, body);
    m_layers.clear();
}
