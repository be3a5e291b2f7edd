#include "MessageTable.h"

namespace {

struct Message {
    int32_t id;
    const char* text;
};

const Message kMessages[] = {
    {2, "0154"},  // the engine number
    {4, "Orbanel\\QemClient\\"},  // the local engine folder, in the temporary folder
    {102, "SOFTWARE\\Orbanel\\Lumetra\\Client"},  // the installation's key
    {2001, "Fatal error."},
    {2002, "Division by zero"},
    {2003, "Cannot open the script file '%s'."},
    {2004, "Cannot load the module file '%s'."},
    {2005, "The file '%s' is an invalid external module."},
    {2006, "The module '%s' has an invalid version code."},
    {2007, "Init error !!!"},
    {2008, "The command must be executed between SceneBegin and SceneEnd."},
    {2009, "Param 1 must be an array of vectors."},
    {2010, "Array lenght must be >= 3 elements."},
    {2011, "Param 1 must be in the 0-1 interval."},
    {2012, "Param n. %i must be a vector."},
    {2013, "Param n. %i must be a string."},
    {2014, "Param n. %i must be a '%s' object."},
    {2015, "This numeric value must be between %i and %i."},
    {2016, "This numeric value must be between %f and %f."},
    {2017, "Param n. %i is invalid."},
    {2018, "Cannot create a new light source."},
    {2019, "Parameters DimX and DimY exceed the size of the data buffer."},
    {2020, "Param n. %i contains invalid format symbols."},
    {2021, "The number of parameters must not exceed 15."},
    {2022, "Param n. %i is not valid or is not compatible with the correspondent format symbol."},
    {2023, "Param n. %i is a string with inadeguate length."},
    {2024, "The parameters passed to the function are less than required by the format string."},
    {2025, "The parameters passed to the function are less than required by the format string."},
    {2026, "Invalid camera ID."},
    {2027, "Param n. %i must be a vector of %i components length."},
    {2028, "Param n. %i must be a vector of 3 or 4 components length."},
    {2029, "Serial port number must be between 1 and 16."},
    {2030, "Cannot open serial port no %i."},
    {2031, "Cannot create the '%s' file."},
    {2032, "Cannot load the '%s' file."},
    {2033, "Multimedia Overflow."},
    {2034, "Cannot set volume."},
    {2035, "Could not LOOP the sound source."},
    {2036, "Could not play the sound source."},
    {2037, "Could not set BALANCE."},
    {2038, "Could not set frequency."},
    {2039, "Could not create another source."},
    {2040, "The member variable must be of Vector type."},
    {2041, "The member variable must be of String type."},
    {2042, "The member variable must be of '%s' type."},
    {2043, "Cannot set acoustic parameters."},
    {2050, "The argument '%i' is not a valid OpenGL constant."},
    {2060, "Invalid URL: '%s'."},
    {2061, "Cannot unpak the file: '%s'."},
    {2080, "Can't start CryptoAPI."},
    {2096, "Fatal error in module '%s'"},
    {2097, "Division by zero in module '%s'"},
    {2098, "module '%s' certification check fail."},
    {4001, "This function is obsolete."},
    {4002, "'%c' is an invalid char."},
    {4003, "The parameters passed to the function are less than required by the format string."},
    {4004, "Could not load the VRAlib module for 3D audio."},
    {4005, "Could not create a VRAWav object."},
    {4006, "ID %i is an invalid menu item."},
    {4007, "Overwriting file %s."},
    {4008, "Warning: %s."},
    {4009, "Invalid data. The data received from network is not an Qem variable."},
    {4010, "Function '%s' not found!"},
    {4011, "The variable could not be send."},
    {4012, "The shared bytebuffer is empty."},
    {4013, "Could not find mouse."},
};

}  // namespace

const char* EngineMessageText(int32_t id) {
    for (const Message& m : kMessages)
        if (m.id == id) return m.text;
    return nullptr;
}
