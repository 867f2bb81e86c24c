// The component's public identity: the type library and the catalogue of the 32
// activity classes, each with its CLSID and the IID of its default interface
// _<Class>. ProgIDs are "Corvane." followed by the class name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "pelmark/com.h"

namespace corvane {

struct ClassInfo {
  std::string_view name;  // "MarkAsVital"
  pelmark::CLSID clsid;
  pelmark::IID default_iid;  // of _<Class>
};

inline constexpr std::string_view kProgIdPrefix = "Corvane.";
inline constexpr std::string_view kLibraryName = "Corvane";
inline constexpr pelmark::GUID kLibraryId =
    pelmark::ParseGuid("{E3035E95-5FA0-4F05-8F5C-01D1CB1BC87E}");
inline constexpr uint16_t kLibraryMajorVersion = 1;
inline constexpr uint16_t kLibraryMinorVersion = 0;
inline constexpr uint32_t kLibraryLocale = 0x0409;
inline constexpr std::string_view kLibraryHelpString = "Corvane workflow activities, release 2.0";
inline constexpr std::string_view kThreadingModel = "Apartment";

// A type library the component's type library imports.
struct ImportedLibrary {
  std::string_view name;
  std::string_view file;
  pelmark::GUID id;
  std::string_view version;
};
inline constexpr ImportedLibrary kImportedLibraries[] = {
    {"stdole", "stdole2.tlb", pelmark::ParseGuid("{00020430-0000-0000-C000-000000000046}"), "2.0"},
    {"Pelmark", "Pelmark.tlb", pelmark::ParseGuid("{5086F526-75C2-4BC8-9B88-FDAF41174E45}"), "2.0"},
};

// The catalogue in type-library order.
inline constexpr ClassInfo kCatalogue[] = {
    {"DocApproval", pelmark::ParseGuid("{D218163A-8BE9-4F42-9541-3F374593C5E0}"),
     pelmark::ParseGuid("{D4496F45-4D6B-4EB8-B45F-526B02042E7B}")},
    {"Notify", pelmark::ParseGuid("{0085A3D3-4FD1-4B93-BDCF-DAF337778AE5}"),
     pelmark::ParseGuid("{8D2A3BCA-214A-41D5-A495-48EAEFE6F07F}")},
    {"ChangeFieldValue", pelmark::ParseGuid("{DB6679BC-72C2-4B02-8824-9A6A2579E326}"),
     pelmark::ParseGuid("{0E71511E-897C-4A83-AD4F-4AE7A533BCF0}")},
    {"GetFieldValue", pelmark::ParseGuid("{90B17741-14CE-46D7-9EEB-FDEE80D45233}"),
     pelmark::ParseGuid("{7762B50A-FC27-4589-81AB-A486443F8D80}")},
    {"SetFieldValue", pelmark::ParseGuid("{BF7169E4-117A-44F7-99AE-63E3ECBA8948}"),
     pelmark::ParseGuid("{3391460A-D123-4CA3-BBF3-5EA40B211508}")},
    {"SetNumericFieldValue", pelmark::ParseGuid("{05C45C41-D7F1-4E3F-870E-FD0C0E31CD2B}"),
     pelmark::ParseGuid("{2B0E8BB1-7AEC-4AC3-A3CE-09EBB403CA04}")},
    {"ChangeNumericFieldValue", pelmark::ParseGuid("{4A08E78A-29E7-443D-BF8F-C21895ACD3EC}"),
     pelmark::ParseGuid("{62C05535-B4EB-458D-A5D2-D02ACFD153E9}")},
    {"GetNumericFieldValue", pelmark::ParseGuid("{8267268B-70E1-47D5-A940-0A346D2FFE4C}"),
     pelmark::ParseGuid("{DF875815-6109-4021-9B5B-F5AE58083DD4}")},
    {"SetYesNoFieldValue", pelmark::ParseGuid("{FEB4ECC8-7DC1-4E75-AFF7-3D08E698276B}"),
     pelmark::ParseGuid("{87CB37EA-BBB3-4D98-88A9-25C069159347}")},
    {"GetYesNoFieldValue", pelmark::ParseGuid("{B0C5F047-4AD6-4661-9F11-B5F94922DC62}"),
     pelmark::ParseGuid("{A7614569-58FF-401F-AA95-9AA4876C5998}")},
    {"ChangeYesNoFieldValue", pelmark::ParseGuid("{7A3BAE31-6DD5-4672-A53C-117A502E8495}"),
     pelmark::ParseGuid("{577BB1AA-D962-47B2-BCA1-9C4746B5DB29}")},
    {"SetDateTimeFieldValue", pelmark::ParseGuid("{3869D548-0A71-4E01-B2DF-F9DFD58421EF}"),
     pelmark::ParseGuid("{EDDF1924-709A-4B90-9929-8047679B205D}")},
    {"GetDateTimeFieldValue", pelmark::ParseGuid("{8EF8E8D0-D145-484B-8017-C5A4C6436E93}"),
     pelmark::ParseGuid("{E31EB350-140B-4902-B202-37DD0513CFD3}")},
    {"ChangeDateTimeFieldValue", pelmark::ParseGuid("{651E9353-BBF2-4E59-8604-9A5143F1ACD7}"),
     pelmark::ParseGuid("{DEAF1139-508A-4F9B-B2FC-D82534243078}")},
    {"AutoStamp", pelmark::ParseGuid("{C5EEA193-16CA-452E-B343-EBACB9B0345F}"),
     pelmark::ParseGuid("{C9315FE8-49C2-452E-87CF-656752121057}")},
    {"Publish", pelmark::ParseGuid("{ECECA409-D8A5-42E8-BD68-7FE00CC29986}"),
     pelmark::ParseGuid("{96928675-6EB0-470F-BCC2-90DA921BCC97}")},
    {"Signature", pelmark::ParseGuid("{7EA749A5-96CE-462D-99C9-1AB14824352C}"),
     pelmark::ParseGuid("{098413ED-8112-4DEE-8185-D88FB94BAD64}")},
    {"ShareEntity", pelmark::ParseGuid("{CC72741D-C4CD-4AD3-B5F9-5C50AE8A3FE5}"),
     pelmark::ParseGuid("{00883938-423B-4934-ADB6-5DF0CB4CFB20}")},
    {"ApplySecurityLabel", pelmark::ParseGuid("{7A3E4A54-7320-4B8F-A4C5-0DDA1B1C3BD4}"),
     pelmark::ParseGuid("{198670BE-5011-4B03-8299-0424250A5EEC}")},
    {"Review", pelmark::ParseGuid("{82DBA8AD-4438-4C9C-BF7B-D5BCC8B48F1C}"),
     pelmark::ParseGuid("{DEA5F32E-1CBC-4C90-B617-A0CC24C40EF7}")},
    {"ToDo", pelmark::ParseGuid("{E7A28732-9845-4D0E-86E8-A14598DB828D}"),
     pelmark::ParseGuid("{C358D966-02B2-4F58-A30E-3EAEB3FC4FB2}")},
    {"EndWorkflow", pelmark::ParseGuid("{81343C49-1043-4AEA-BD31-B838BE412EEB}"),
     pelmark::ParseGuid("{35070A20-9B17-467F-8871-025D35A2E7DC}")},
    {"Wait", pelmark::ParseGuid("{DC2B4C72-9AD7-446F-9BA4-A1E0D60E4B98}"),
     pelmark::ParseGuid("{DA0AFD7D-6CA6-426D-98D5-7743F02BDA07}")},
    {"Delete", pelmark::ParseGuid("{37372B40-2272-476B-9DE2-D00833E03156}"),
     pelmark::ParseGuid("{E404B93E-9EBD-4BCB-BE7B-2AA2DD9C0E5C}")},
    {"ExportToFolder", pelmark::ParseGuid("{02B331D4-EE4D-4F63-8F1C-B14B79773CC4}"),
     pelmark::ParseGuid("{CE0AFF38-C587-479A-B40C-B3B76FFA398C}")},
    {"MarkAsArchive", pelmark::ParseGuid("{FCD43A85-4BD9-42DD-AC2D-5250CE68BE27}"),
     pelmark::ParseGuid("{63EE098A-035E-4BDC-92E5-B7E4C6A03002}")},
    {"MarkAsRecord", pelmark::ParseGuid("{797B0D48-4BD2-43DE-B85A-DF710CEEC1AA}"),
     pelmark::ParseGuid("{CACD5BCF-84B3-451C-A124-664825323082}")},
    {"MarkAsVital", pelmark::ParseGuid("{3077EE4C-C191-4082-97D0-06A0B6A3C68C}"),
     pelmark::ParseGuid("{08B240CA-97C0-4F24-BFFA-3DC8FBCC2B41}")},
    {"PutOnHold", pelmark::ParseGuid("{56B5DC68-FDD7-4F2E-AED8-0AC43619C818}"),
     pelmark::ParseGuid("{C968CE17-E6A5-43E1-8EA8-74B7E19D256D}")},
    {"UnmarkAsVital", pelmark::ParseGuid("{65C1A237-1E46-4D36-A3E2-3214B95ED600}"),
     pelmark::ParseGuid("{1D67D2DC-366B-4172-B55E-0713EBDC14EF}")},
    {"UnmarkAsRecord", pelmark::ParseGuid("{5E48E254-8595-48B3-83E9-AA7D841C1A8F}"),
     pelmark::ParseGuid("{98AA0943-9086-444C-AD35-AFAEF177AC3B}")},
    {"ResetOnHold", pelmark::ParseGuid("{9F3389FB-8554-4C0B-8F2C-F31EFC8790F0}"),
     pelmark::ParseGuid("{3A5966A6-BFF3-47CE-B3EA-0C1116E7BAAE}")},
};
inline constexpr size_t kClassCount = std::size(kCatalogue);
static_assert(kClassCount == 32);

// Look-ups; null when there is no such class. Names and ProgIDs compare exactly.
inline const ClassInfo* FindClassByName(std::string_view name) {
  for (const ClassInfo& c : kCatalogue)
    if (c.name == name) return &c;
  return nullptr;
}
inline const ClassInfo* FindClassByProgId(std::string_view prog_id) {
  if (!prog_id.starts_with(kProgIdPrefix)) return nullptr;
  return FindClassByName(prog_id.substr(kProgIdPrefix.size()));
}
inline const ClassInfo* FindClassByClsid(const pelmark::CLSID& clsid) {
  for (const ClassInfo& c : kCatalogue)
    if (c.clsid == clsid) return &c;
  return nullptr;
}

}  // namespace corvane
