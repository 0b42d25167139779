// Loads an LV2 bundle through lilv, the host library most Linux LV2 hosts use, and checks what a
// host can learn about MIDI Sondrel from it: one MIDI atom input, one MIDI atom output and the
// "Main Tab" parameter with its two choices. lv2info prints none of atom:supports or the patch
// parameters, hence this program.
//
// Usage: lilv_inspect BUNDLE_DIR PLUGIN_URI
// Prints what it finds; exits 1 on any mismatch, 2 on bad usage.

#include <lilv/lilv.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

using Node = std::unique_ptr<LilvNode, decltype([](LilvNode* n) { lilv_node_free(n); })>;
using Nodes = std::unique_ptr<LilvNodes, decltype([](LilvNodes* n) { lilv_nodes_free(n); })>;

int failures = 0;

void fail(const std::string& what)
{
    std::printf("MISMATCH: %s\n", what.c_str());
    ++failures;
}

std::string str(const LilvNode* n)
{
    const char* s = n != nullptr ? lilv_node_as_string(n) : nullptr;
    return s != nullptr ? s : "(none)";
}

std::optional<double> number(const LilvNode* n)
{
    if (n != nullptr && (lilv_node_is_int(n) || lilv_node_is_float(n)))
        return lilv_node_as_float(n);
    return std::nullopt;
}

struct Inspector {
    LilvWorld* world;
    const LilvPlugin* plugin;

    Node uri(const std::string& u) const { return Node(lilv_new_uri(world, u.c_str())); }
    Node lv2(const char* term) const { return uri(std::string("http://lv2plug.in/ns/") + term); }
    Node get(const LilvNode* subject, const Node& predicate) const
    {
        return Node(lilv_world_get(world, subject, predicate.get(), nullptr));
    }

    // One MIDI-capable atom port in each direction, each an atom:Sequence buffer.
    void checkMidiPorts() const
    {
        const Node atomPort = lv2("ext/atom#AtomPort"), input = lv2("lv2core#InputPort"), output = lv2("lv2core#OutputPort");
        const Node midi = lv2("ext/midi#MidiEvent"), bufferType = lv2("ext/atom#bufferType"), sequence = lv2("ext/atom#Sequence");
        int ins = 0, outs = 0;
        for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            if (!lilv_port_is_a(plugin, port, atomPort.get()))
                continue;
            const std::string symbol = str(lilv_port_get_symbol(plugin, port));
            const bool isIn = lilv_port_is_a(plugin, port, input.get()), isOut = lilv_port_is_a(plugin, port, output.get());
            const bool isMidi = lilv_port_supports_event(plugin, port, midi.get());
            const Nodes types(lilv_port_get_value(plugin, port, bufferType.get()));
            const bool isSequence = types && lilv_nodes_contains(types.get(), sequence.get());
            std::printf("atom port %u: %s, %s, midi:MidiEvent %s, %s\n", i, symbol.c_str(),
                        isIn ? "input" : (isOut ? "output" : "no direction"), isMidi ? "yes" : "no",
                        isSequence ? "atom:Sequence" : "another buffer");
            if (!isMidi)
                continue;
            if (!isSequence)
                fail("MIDI atom port " + symbol + " does not use an atom:Sequence buffer");
            if (!isIn && !isOut)
                fail("MIDI atom port " + symbol + " is neither input nor output");
            ins += isIn;
            outs += isOut;
        }
        if (ins != 1 || outs != 1)
            fail("expected one atom input and one atom output supporting midi:MidiEvent, found " + std::to_string(ins)
                 + " and " + std::to_string(outs));
    }

    // The "Main Tab" parameter: a writable lv2:Parameter whose only scale points are
    // Events = 0 and Chord And Scale = 1, lying inside its range, the default among them.
    void checkMainTab(const std::string& pluginUri) const
    {
        const Node label = uri("http://www.w3.org/2000/01/rdf-schema#label");
        const Nodes params(lilv_plugin_get_value(plugin, lv2("ext/patch#writable").get()));
        const LilvNode* mainTab = nullptr;
        int labelled = 0;
        LILV_FOREACH (nodes, it, params.get()) {
            const LilvNode* p = lilv_nodes_get(params.get(), it);
            lilv_world_load_resource(world, p);
            const std::string l = str(get(p, label).get());
            std::printf("patch:writable %s \"%s\"\n", str(p).c_str(), l.c_str());
            if (l == "Main Tab")
                mainTab = p, ++labelled;
        }
        if (labelled != 1)
            return fail("expected one patch:writable parameter labelled \"Main Tab\", found " + std::to_string(labelled));
        if (str(mainTab) != pluginUri + ":mainMode")
            fail("\"Main Tab\" parameter is " + str(mainTab) + ", expected " + pluginUri + ":mainMode");
        if (!lilv_world_ask(world, mainTab, uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#type").get(),
                            lv2("lv2core#Parameter").get()))
            fail("\"Main Tab\" is not an lv2:Parameter");

        const auto min = number(get(mainTab, lv2("lv2core#minimum")).get());
        const auto max = number(get(mainTab, lv2("lv2core#maximum")).get());
        const auto def = number(get(mainTab, lv2("lv2core#default")).get());
        if (!min || !max)
            fail("\"Main Tab\" has no numeric lv2:minimum and lv2:maximum");
        const Node value = uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#value");
        std::map<std::string, double> found;
        const Nodes points(lilv_world_find_nodes(world, mainTab, lv2("lv2core#scalePoint").get(), nullptr));
        LILV_FOREACH (nodes, it, points.get()) {
            const LilvNode* sp = lilv_nodes_get(points.get(), it);
            const Node l = get(sp, label);
            const auto x = number(get(sp, value).get());
            std::printf("scale point \"%s\" = %s\n", str(l.get()).c_str(), x ? std::to_string(*x).c_str() : "(none)");
            if (!l || !x) {
                fail("scale point without a label or numeric rdf:value");
                continue;
            }
            if (!found.emplace(str(l.get()), *x).second)
                fail("scale point label \"" + str(l.get()) + "\" appears twice");
            if (min && max && (*x < *min || *x > *max))
                fail("scale point \"" + str(l.get()) + "\" lies outside [minimum, maximum]");
        }
        const std::map<std::string, double> expected{{"Events", 0.0}, {"Chord And Scale", 1.0}};
        if (found != expected)
            fail("the scale points are not exactly Events = 0 and Chord And Scale = 1");
        if (def && found == expected && *def != 0.0 && *def != 1.0)
            fail("\"Main Tab\" default is not one of its scale points");
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BUNDLE_DIR PLUGIN_URI\n", argv[0]);
        return 2;
    }
    const std::string bundlePath = std::string(argv[1]) + "/";  // lilv wants a bundle URI ending in a slash
    LilvWorld* world = lilv_world_new();
    {  // every node is freed before the world
        const Node bundle(lilv_new_file_uri(world, nullptr, bundlePath.c_str()));
        lilv_world_load_bundle(world, bundle.get());
        const Node pluginUri(lilv_new_uri(world, argv[2]));
        if (const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri.get())) {
            if (!lilv_plugin_verify(plugin))
                fail("lilv_plugin_verify rejects the plug-in description");
            if (const Node name(lilv_plugin_get_name(plugin)); str(name.get()) != "MIDI Sondrel")
                fail("plug-in name is \"" + str(name.get()) + "\", expected \"MIDI Sondrel\"");
            const Inspector inspector{world, plugin};
            inspector.checkMidiPorts();
            inspector.checkMainTab(argv[2]);
        } else {
            fail(std::string("lilv found no plug-in ") + argv[2] + " in the bundle");
        }
    }
    std::printf("lilv: %s\n", failures == 0 ? "all checks passed" : (std::to_string(failures) + " mismatch(es)").c_str());
    lilv_world_free(world);
    return failures == 0 ? 0 : 1;
}
