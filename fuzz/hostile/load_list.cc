// Loads an item list from a file the way a step does (the library's XML layer)
// and walks its items, so that the library's own time and peak memory for a
// list can be measured apart from any host:
//
//   g++ -std=c++20 -O2 -Iinclude -Isrc fuzz/hostile/load_list.cc build/libcorvane_core.a \
//     build/libcorvane_text.a $(pkg-config --libs pugixml libxml-2.0) -o build/load_list
//   /usr/bin/time -v build/load_list LIST.xml
//
// Prints whether the list loaded, its kind and the number of items.
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

#include "framework/item_list.h"
#include "framework/xml.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: load_list LIST.xml\n";
    return 2;
  }
  std::string text;
  {
    std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
    if (!in) {
      std::cerr << "cannot read " << argv[1] << "\n";
      return 2;
    }
    text.resize(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
  }
  corvane::XmlDocument doc;
  // The document keeps the text as its storage, as a step's load does.
  if (!doc.LoadXml(std::move(text))) {
    std::cout << "refused\n";
    return 1;
  }
  corvane::XmlNode header = doc.SelectSingleNode("//dmsobject");
  std::string kind = header.Attribute("entitytype");
  size_t items = 0;
  corvane::ListedItems list = corvane::ListedItems::Of(doc, kind);
  if (!list.absent())
    for (auto it = list.begin(); it != list.end(); ++it) ++items;
  std::cout << "loaded " << kind << ", " << items << " items\n";
  return 0;
}
