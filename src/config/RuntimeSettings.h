#pragma once
// The library's fixed timers, retry counts, size limits and protocol
// switches. The SDK owns one by value and fills it with the defaults below
// when it is built; neither the host nor the server changes it afterwards,
// so it needs no lock. Internal tests construct one with shorter timers.
//
// Numbers are unsigned 32-bit, flags 0 or 1. Limits "in characters" count
// UTF-8 characters.

#include <cstdint>

namespace ZEBInternal {

struct RuntimeSettings {
    uint32_t FINGERPRINTREREADSEC = 86400;            // fingerprints recomputed after this age
    uint32_t SYSINFOREREADSEC = 86400;                // system information recollected after this age
    uint32_t LOGWRITERDWELLSEC = 10;                  // log writer interval
    uint32_t SYNCSTALLEDACTIVEFILETHRESHOLDSEC = 900; // another run's active log counts as stale
    uint32_t AUTOSYNCCHECKDWELLSEC = 60;              // sync manager interval
    uint32_t AUTOSYNCATSTARTUPRETRYATTEMPTMODULO = 2;
    uint32_t AUTOSYNCATSTARTUPRETRYATTEMPTMAX = 3;
    uint8_t MANUALSYNCISASYNC = 1;                    // zebSync returns before the sync ends
    uint32_t PINGDWELLSEC = 86400;                    // ping interval while backed off
    uint32_t NEWREGRETRYSEC = 120;
    uint32_t NEWREGRETRYATTEMPTMAX = 3;
    uint8_t USEZIP = 1;
    uint8_t USEHTTPSENCRYPTION = 1;
    uint8_t USEAESENCRYPTION = 1;
    uint8_t USEPROXY = 1;
    uint8_t USECONFIGSIGNATURE = 1;
    uint8_t USEMESSAGESIGNATURE = 1;
    uint8_t USEDISCOVEREDCERTS = 1;
    uint32_t CUSTOMPROPERTYLIMIT = 20;                // highest custom property index
    uint32_t CUSTOMPROPERTYTHRESHOLD = 256;
    uint32_t PRODUCTPROPERTYTHRESHOLD = 128;
    uint32_t EVENTCATEGORYTHRESHOLD = 128;
    uint32_t EVENTNAMETHRESHOLD = 128;
    uint32_t EXCEPTIONCLASSNAMETHRESHOLD = 128;
    uint32_t EXCEPTIONMETHODNAMETHRESHOLD = 128;
    uint32_t SAFETYCUSTOMNAMETHRESHOLD = 8192;
    uint32_t SAFETYCUSTOMVALUETHRESHOLD = 262144;
    uint32_t SAFETYEXCEPTIONDATATHRESHOLD = 262144;
    uint8_t USEPROXYFALLBACK = 1;
    uint8_t USEPROTOCOLFALLBACK = 1;
    uint32_t CONNECTTIMEOUTSEC = 10;                  // TCP connect, over all of a host's addresses
    uint32_t SSLHANDSHAKETIMEOUTSEC = 5;
    uint32_t SENDTIMEOUTSEC = 5;
    uint32_t REQ1RECEIVETIMEOUTSEC = 10;              // registration, ping, test, message check
    uint32_t REQ2RECEIVETIMEOUTSEC = 10;              // sync and upload
};

}  // namespace ZEBInternal
