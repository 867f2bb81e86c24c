// Loads an item list from a file the way a step does (the library's XML layer)
// and walks its items, so that the library's own time and peak memory for a
// list can be measured apart from any host:
//
//   g++ -std=c++20 -O2 -Iinclude -Isrc fuzz/hostile/load_list.cc build/libcorvane_core.a \
//     $(pkg-config --libs pugixml libxml-2.0) -o build/load_list
//   /usr/bin/time -v build/load_list LIST.xml
//
// Prints whether the list loaded, its kind and the number of items.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "framework/item_list.h"
#include "framework/xml.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: load_list LIST.xml\n";
    return 2;
  }
  std::string text;
  {
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
  }
  corvane::XmlDocument doc;
  if (!doc.LoadXml(text)) {
    std::cout << "refused\n";
    return 1;
  }
  text.clear();
  text.shrink_to_fit();
  corvane::XmlNode header = doc.SelectSingleNode("//dmsobject");
  std::string kind = header.Attribute("entitytype");
  corvane::XmlNode list = doc.SelectSingleNode("//" + corvane::ListNameOfKind(kind));
  size_t items = list.is_nothing() ? 0 : list.ChildNodes().size();
  std::cout << "loaded " << kind << ", " << items << " items\n";
  return 0;
}
