#include "audio/mixer_errors.h"

std::string EDirectSoundError::MessageFor(uint32_t code)
{
    switch (code) {
    case 0x80004001: return "Unsupported";
    case 0x80004005: return "Undetermined error";
    case 0x80040110: return "Object does not support aggregation";
    case 0x8007000E: return "Out of memory";
    case 0x80070057: return "Invalid parameter";
    case 0x8878000A: return "Another caller already allocated resources";
    case 0x8878001E: return "Requested control unavailable";
    case 0x88780032: return "Invalid call for current object's state";
    case 0x88780046: return "Priority not enough for success";
    case 0x88780064: return "Bad format";
    case 0x88780078: return "No driver";
    case 0x88780082: return "Object already initialized";
    case 0x88780096: return "Buffer lost";
    case 0x887800A0: return "Other app has a higher priority level";
    case 0x887800AA: return "Initialize has not been called";
    default: return "Unknown error code";
    }
}
