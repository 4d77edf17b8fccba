// Prints, as JSON, the inlets and outlets that each plug-in's instance has in
// the stand-in host, for the check of the help patchers and reference pages
// (package_check.py): {"jit.quarnpack": {"inlets": 1, "outlets": ["jit_matrix", ""]}, ...}.
#include <cstdio>
#include <string>

#include "platform/loader.h"

int main() {
  std::string json = "{";
  for (const char* path : {QUARN_PACK_MODULE, QUARN_OPEN_MODULE}) {
    platform::Module module;
    const std::string problem = platform::load_module(path, &module);
    if (!problem.empty()) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      return 1;
    }
    void* x = platform::new_instance(module.name);
    if (x == nullptr) {
      std::fprintf(stderr, "cannot make %s\n", module.name.c_str());
      return 1;
    }
    const platform::Ports ports = platform::ports(x);
    platform::free_instance(x);
    if (json.size() > 1) json += ", ";
    json += "\"" + module.name + "\": {\"inlets\": " + std::to_string(ports.inlets) +
            ", \"outlets\": [";
    for (std::size_t i = 0; i < ports.outlets.size(); ++i) {
      json += (i > 0 ? ", \"" : "\"") + ports.outlets[i] + "\"";
    }
    json += "]}";
  }
  std::printf("%s}\n", json.c_str());
  return 0;
}
