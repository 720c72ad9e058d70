// Traffic advisories: other aircraft close to a pilot under radar control are called out once each,
// by distance, clock position, altitude and type. A report stacks states::kReportingTrafficPrefix in front of
// the pilot's dialogue state; the controllers' dialogue frame takes the answer and strips the prefix, after
// which the interrupted dialogue goes on where it stood.
#pragma once

#include <string>
#include <string_view>

#include "atc/atc_context.h"

namespace skyvox::atc {

// Report radius and vertical band (both exclusive) and the alert radius, in whole nm and feet.
inline constexpr int kTrafficRadiusNm = 4;
inline constexpr int kTrafficBandFt = 3000;
inline constexpr int kTrafficAlertRadiusNm = 2;

// Calls out the other aircraft close to the pilot, first thing of approach and center control.
void ScanTraffic(AtcContext& context);

// Whether the pilot owes an answer to a traffic report: the prefix occurs anywhere, in any case.
bool HasTrafficPrefix(std::string_view pilotRequest);

// Removes every exact occurrence of the prefix, left to right; text joined by a removal is not searched
// again.
void RemoveTrafficPrefix(std::string& pilotRequest);

}  // namespace skyvox::atc
