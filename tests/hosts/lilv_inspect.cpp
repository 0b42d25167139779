// Loads an LV2 bundle through lilv, the host library most Linux LV2 hosts use, and checks what a
// host can learn about MIDI Sondrel from it: one MIDI atom input, one MIDI atom output and the
// "Main Tab" parameter with its two choices. lv2info prints none of atom:supports or the patch
// parameters, hence this program.
//
// Usage: lilv_inspect BUNDLE_DIR PLUGIN_URI
// Prints what it finds; exits 1 on any mismatch, 2 on bad usage or a bundle lilv cannot load.

#include <lilv/lilv.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kAtomPort = "http://lv2plug.in/ns/ext/atom#AtomPort";
constexpr const char* kAtomSequence = "http://lv2plug.in/ns/ext/atom#Sequence";
constexpr const char* kAtomBufferType = "http://lv2plug.in/ns/ext/atom#bufferType";
constexpr const char* kMidiEvent = "http://lv2plug.in/ns/ext/midi#MidiEvent";
constexpr const char* kInputPort = "http://lv2plug.in/ns/lv2core#InputPort";
constexpr const char* kOutputPort = "http://lv2plug.in/ns/lv2core#OutputPort";
constexpr const char* kLv2Parameter = "http://lv2plug.in/ns/lv2core#Parameter";
constexpr const char* kScalePoint = "http://lv2plug.in/ns/lv2core#scalePoint";
constexpr const char* kMinimum = "http://lv2plug.in/ns/lv2core#minimum";
constexpr const char* kMaximum = "http://lv2plug.in/ns/lv2core#maximum";
constexpr const char* kDefault = "http://lv2plug.in/ns/lv2core#default";
constexpr const char* kPatchWritable = "http://lv2plug.in/ns/ext/patch#writable";
constexpr const char* kRdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";
constexpr const char* kRdfsRange = "http://www.w3.org/2000/01/rdf-schema#range";
constexpr const char* kRdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
constexpr const char* kRdfValue = "http://www.w3.org/1999/02/22-rdf-syntax-ns#value";

constexpr const char* kExpectedName = "MIDI Sondrel";
constexpr const char* kMainTabLabel = "Main Tab";
const char* const kMainTabSuffix = ":mainMode";

struct NodeFree {
    void operator()(LilvNode* n) const { lilv_node_free(n); }
};
using Node = std::unique_ptr<LilvNode, NodeFree>;

struct NodesFree {
    void operator()(LilvNodes* n) const { lilv_nodes_free(n); }
};
using Nodes = std::unique_ptr<LilvNodes, NodesFree>;

int failures = 0;

void fail(const std::string& what)
{
    std::printf("MISMATCH: %s\n", what.c_str());
    ++failures;
}

std::string str(const LilvNode* n)
{
    if (n == nullptr)
        return "(none)";
    const char* s = lilv_node_as_string(n);
    return s != nullptr ? s : "(none)";
}

bool number(const LilvNode* n, double& out)
{
    if (n == nullptr)
        return false;
    if (lilv_node_is_int(n)) {
        out = lilv_node_as_int(n);
        return true;
    }
    if (lilv_node_is_float(n)) {
        out = lilv_node_as_float(n);
        return true;
    }
    return false;
}

class Inspector {
public:
    Inspector(LilvWorld* w, const LilvPlugin* p) : world(w), plugin(p) {}

    Node uri(const char* u) const { return Node(lilv_new_uri(world, u)); }

    void checkName() const
    {
        Node name(lilv_plugin_get_name(plugin));
        std::printf("name: %s\n", str(name.get()).c_str());
        if (str(name.get()) != kExpectedName)
            fail("plug-in name is \"" + str(name.get()) + "\", expected \"" + kExpectedName + "\"");
    }

    // One MIDI-capable atom port in each direction, each an atom:Sequence buffer.
    void checkMidiPorts() const
    {
        Node atomPort = uri(kAtomPort), input = uri(kInputPort), output = uri(kOutputPort);
        Node midiEvent = uri(kMidiEvent), bufferType = uri(kAtomBufferType), sequence = uri(kAtomSequence);

        std::vector<std::string> midiIn, midiOut;
        const uint32_t count = lilv_plugin_get_num_ports(plugin);
        for (uint32_t i = 0; i < count; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            if (!lilv_port_is_a(plugin, port, atomPort.get()))
                continue;
            const std::string symbol = str(lilv_port_get_symbol(plugin, port));
            const bool isIn = lilv_port_is_a(plugin, port, input.get());
            const bool isOut = lilv_port_is_a(plugin, port, output.get());
            const bool midi = lilv_port_supports_event(plugin, port, midiEvent.get());
            Nodes types(lilv_port_get_value(plugin, port, bufferType.get()));
            const bool isSequence = types && lilv_nodes_contains(types.get(), sequence.get());
            std::printf("atom port %u: symbol=%s direction=%s supports midi:MidiEvent=%s bufferType=%s\n", i,
                        symbol.c_str(), isIn ? "input" : (isOut ? "output" : "none"), midi ? "yes" : "no",
                        isSequence ? "atom:Sequence" : "other");
            if (!midi)
                continue;
            if (!isSequence)
                fail("MIDI atom port " + symbol + " does not use an atom:Sequence buffer");
            if (isIn)
                midiIn.push_back(symbol);
            else if (isOut)
                midiOut.push_back(symbol);
            else
                fail("MIDI atom port " + symbol + " is neither input nor output");
        }
        if (midiIn.size() != 1)
            fail("expected exactly one atom input port supporting midi:MidiEvent, found " +
                 std::to_string(midiIn.size()));
        if (midiOut.size() != 1)
            fail("expected exactly one atom output port supporting midi:MidiEvent, found " +
                 std::to_string(midiOut.size()));
    }

    // The "Main Tab" parameter: a writable lv2:Parameter whose only scale points are
    // Events = 0 and Chord And Scale = 1, lying inside its range.
    void checkMainTab(const std::string& pluginUri) const
    {
        Node writable = uri(kPatchWritable), label = uri(kRdfsLabel), type = uri(kRdfType);
        Node parameterClass = uri(kLv2Parameter), scalePoint = uri(kScalePoint), value = uri(kRdfValue);
        Node minimum = uri(kMinimum), maximum = uri(kMaximum), def = uri(kDefault), range = uri(kRdfsRange);

        Nodes params(lilv_plugin_get_value(plugin, writable.get()));
        const LilvNode* mainTab = nullptr;
        int labelled = 0;
        LILV_FOREACH (nodes, it, params.get()) {
            const LilvNode* p = lilv_nodes_get(params.get(), it);
            lilv_world_load_resource(world, p);
            Node l(lilv_world_get(world, p, label.get(), nullptr));
            std::printf("patch:writable %s label=\"%s\"\n", str(p).c_str(), str(l.get()).c_str());
            if (l && str(l.get()) == kMainTabLabel) {
                mainTab = p;
                ++labelled;
            }
        }
        if (labelled != 1) {
            fail("expected one patch:writable parameter labelled \"" + std::string(kMainTabLabel) + "\", found " +
                 std::to_string(labelled));
            return;
        }

        const std::string expectedUri = pluginUri + kMainTabSuffix;
        if (str(mainTab) != expectedUri)
            fail("\"Main Tab\" parameter is " + str(mainTab) + ", expected " + expectedUri);
        if (!lilv_world_ask(world, mainTab, type.get(), parameterClass.get()))
            fail("\"Main Tab\" is not an lv2:Parameter");

        Node lo(lilv_world_get(world, mainTab, minimum.get(), nullptr));
        Node hi(lilv_world_get(world, mainTab, maximum.get(), nullptr));
        Node dflt(lilv_world_get(world, mainTab, def.get(), nullptr));
        Node rng(lilv_world_get(world, mainTab, range.get(), nullptr));
        std::printf("Main Tab: range=%s minimum=%s maximum=%s default=%s\n", str(rng.get()).c_str(),
                    str(lo.get()).c_str(), str(hi.get()).c_str(), str(dflt.get()).c_str());
        double min = 0, max = 0, d = 0;
        const bool haveRange = number(lo.get(), min) && number(hi.get(), max);
        if (!haveRange)
            fail("\"Main Tab\" has no numeric lv2:minimum and lv2:maximum");

        std::map<std::string, double> found;
        Nodes points(lilv_world_find_nodes(world, mainTab, scalePoint.get(), nullptr));
        LILV_FOREACH (nodes, it, points.get()) {
            const LilvNode* sp = lilv_nodes_get(points.get(), it);
            Node l(lilv_world_get(world, sp, label.get(), nullptr));
            Node v(lilv_world_get(world, sp, value.get(), nullptr));
            std::printf("scale point: label=\"%s\" value=%s\n", str(l.get()).c_str(), str(v.get()).c_str());
            double x = 0;
            if (!l || !number(v.get(), x)) {
                fail("scale point without a label or numeric rdf:value");
                continue;
            }
            if (found.count(str(l.get())) != 0)
                fail("scale point label \"" + str(l.get()) + "\" appears twice");
            found[str(l.get())] = x;
            if (haveRange && (x < min || x > max))
                fail("scale point \"" + str(l.get()) + "\" lies outside [minimum, maximum]");
        }

        const std::map<std::string, double> expected{{"Events", 0.0}, {"Chord And Scale", 1.0}};
        if (found.size() != expected.size())
            fail("expected " + std::to_string(expected.size()) + " scale points, found " +
                 std::to_string(found.size()));
        for (const auto& [name, x] : expected) {
            auto f = found.find(name);
            if (f == found.end())
                fail("no scale point labelled \"" + name + "\"");
            else if (std::fabs(f->second - x) > 1e-9)
                fail("scale point \"" + name + "\" has value " + std::to_string(f->second) + ", expected " +
                     std::to_string(x));
        }
        if (number(dflt.get(), d) && found.size() == expected.size()) {
            bool isChoice = false;
            for (const auto& [name, x] : found)
                isChoice = isChoice || std::fabs(x - d) < 1e-9;
            if (!isChoice)
                fail("\"Main Tab\" default is not one of its scale points");
        }
    }

private:
    LilvWorld* world;
    const LilvPlugin* plugin;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BUNDLE_DIR PLUGIN_URI\n", argv[0]);
        return 2;
    }
    std::string bundlePath = argv[1];
    if (bundlePath.empty() || bundlePath.back() != '/')
        bundlePath += '/'; // lilv wants a bundle URI ending in a slash

    LilvWorld* world = lilv_world_new();
    int rc = 0;
    {
        Node bundle(lilv_new_file_uri(world, nullptr, bundlePath.c_str()));
        if (!bundle) {
            std::printf("cannot make a file URI from %s\n", bundlePath.c_str());
            lilv_world_free(world);
            return 2;
        }
        std::printf("bundle: %s\n", str(bundle.get()).c_str());
        lilv_world_load_bundle(world, bundle.get());

        Node pluginUri(lilv_new_uri(world, argv[2]));
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri.get());
        if (plugin == nullptr) {
            std::printf("MISMATCH: lilv found no plug-in %s in the bundle\n", argv[2]);
            rc = 1;
        } else {
            std::printf("plugin: %s\n", str(lilv_plugin_get_uri(plugin)).c_str());
            if (!lilv_plugin_verify(plugin))
                fail("lilv_plugin_verify rejects the plug-in description");
            Inspector inspector(world, plugin);
            inspector.checkName();
            inspector.checkMidiPorts();
            inspector.checkMainTab(argv[2]);
            rc = failures == 0 ? 0 : 1;
            std::printf("%s\n", failures == 0 ? "lilv: all checks passed"
                                              : ("lilv: " + std::to_string(failures) + " mismatch(es)").c_str());
        }
    }
    lilv_world_free(world);
    return rc;
}
