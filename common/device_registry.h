// The device registry cleanup: one mechanism, planned by each deliverable.
// It deletes the class keys of the devices that the root device's instances
// link to or that carry the package's "InfSection", with the devices whose
// "Driver" names them, the product's software key with its COM-port device,
// the package's cards, and the enumerator keys, the root device key last.
// Every deletion passes the guard of common/ownership.h: allowed by the
// shape of its path, never by a path merely not being forbidden, and only
// without a mark of someone else.
#pragma once

#include <string>
#include <vector>

#include "common/change_log.h"
#include "common/ownership.h"
#include "common/platform.h"

namespace mdm {

struct DeviceRegistryPlan;
struct RegistryFindings;

// The stage as a plan runs it: with the voice device's class keys, their
// wave resources and "Enum\MODEMWAVE" whole when the package's wave device
// is all it holds (mdmclean's), or with only the wave device a link names
// (the library's). A plan names the one it runs, so that an image holds
// only that one.
using RegistryStage = RegistryFindings (*)(Platform&, const DeviceRegistryPlan&,
                                           const InfMatchRule&, ChangeLog&);

struct DeviceRegistryPlan {
  RegistryStage stage = nullptr;
  // The root device "Enum\Root\<deviceName>" (each of its instances), and
  // the one device class whose whole branch the root link may remove.
  std::string deviceName;
  std::vector<const DeviceLink*> links;  // run in this order
  // The package's "InfSection" of its modem and of its voice device: a class
  // key naming one is the package's whatever INF file it names. The Modem
  // and MEDIA classes are searched for them (compared exactly) when the plan
  // runs the modem and wave links; empty: no search.
  std::string modemInfSection;
  std::string waveInfSection;
  // "SOFTWARE\<Vendor>\<Name>"; its "1.0\ComPort" names the COM-port device.
  std::string softwareKey;
  // The package's ISA Plug-and-Play IDs: every "Enum\ISAPNP\<id>" goes, with
  // the port driver keys of its cards, and a device below another ID is not
  // the package's.
  std::vector<std::string> isapnpIds;
  bool recordInfPaths = false;  // read each class key's "InfPath" before it goes
};

// What the stage found on its way, for the stages after it.
struct RegistryFindings {
  // The "InfPath" of the modem's, the port's and the root device's class
  // keys, when the plan records them; empty when not reached.
  std::string modemInfPath;
  std::string portInfPath;
  std::string rootInfPath;
  std::string comPort;   // the default value of the software key's "1.0\ComPort"
  // The class keys left after the stage, each with the INF file its
  // "InfPath" names (empty: none): another's or kept, the INF files stay
  // with their keys. Not known when a class key could not be read.
  KeyValues infNamesInUse;
  bool infNamesInUseKnown = true;
  StageOutcome outcome;  // each key that went, and each of the package's that stayed
};

// "Enum\Root\<deviceName>": the root device key, its instance "\0000".
std::string RootDeviceKey(const std::string& deviceName);

// The package's names, PnP IDs and INF rule as the guard knows them.
PackageIdentity IdentityOf(const DeviceRegistryPlan& plan, const InfMatchRule& infRule);

// Every key goes through the guard of common/ownership.h, with the identity
// the plan and `infRule` (the deliverable's INF rule) give.
RegistryFindings CleanWithVoiceClass(Platform& platform, const DeviceRegistryPlan& plan,
                                     const InfMatchRule& infRule, ChangeLog& log);
RegistryFindings CleanWithoutVoiceClass(Platform& platform, const DeviceRegistryPlan& plan,
                                        const InfMatchRule& infRule, ChangeLog& log);

inline RegistryFindings CleanDeviceRegistry(Platform& platform, const DeviceRegistryPlan& plan,
                                            const InfMatchRule& infRule,
                                            ChangeLog& log = NoChangeLog()) {
  return plan.stage(platform, plan, infRule, log);
}

}  // namespace mdm
