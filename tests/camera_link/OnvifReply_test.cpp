// Replies in the shapes cameras send beside the test device's: other namespace prefixes and
// schema versions, extra elements, SOAP 1.1 and nested SOAP 1.2 faults, and hostile text.
#include "camera_link/OnvifReply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace camlink::onvif;

std::string Soap12(const std::string& body, const std::string& prefix = "env",
                   const std::string& header = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + prefix + ":Envelope xmlns:" + prefix +
           "=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:tt=\"http://www.onvif.org/ver10/schema\""
           " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:ter=\"http://www.onvif.org/ver10/error\"><" +
           prefix + ":Header>" + header + "</" + prefix + ":Header><" + prefix + ":Body>" + body +
           "</" + prefix + ":Body></" + prefix + ":Envelope>";
}

TEST(OnvifReply, ProfilesWithDefaultNamespacesAndExtraElements)
{
    // Default namespaces instead of prefixes, a profile with no video encoder (audio only)
    // and extension elements around the ones that count.
    std::string xml = Soap12(
        "<GetProfilesResponse xmlns=\"http://www.onvif.org/ver10/media/wsdl\">"
        "<Profiles token=\"Profile_1\" fixed=\"true\">"
        "<Name xmlns=\"http://www.onvif.org/ver10/schema\">mainStream</Name>"
        "<VideoSourceConfiguration xmlns=\"http://www.onvif.org/ver10/schema\" token=\"V1\">"
        "<Name>VideoSource_1</Name><Bounds x=\"0\" y=\"0\" width=\"2560\" height=\"1440\"/>"
        "</VideoSourceConfiguration>"
        "<VideoEncoderConfiguration xmlns=\"http://www.onvif.org/ver10/schema\" token=\"E1\">"
        "<Name>VideoEncoder_1</Name><UseCount>1</UseCount><Encoding>H264</Encoding>"
        "<Resolution><Width>2560</Width><Height>1440</Height></Resolution>"
        "<Quality>4</Quality></VideoEncoderConfiguration>"
        "<Extension><AudioOutputConfiguration/></Extension></Profiles>"
        "<Profiles token=\"Profile_Audio\"><Name xmlns=\"http://www.onvif.org/ver10/schema\">"
        " audio </Name></Profiles>"
        "</GetProfilesResponse>");
    std::vector<Profile> profiles;
    std::string error;
    ASSERT_EQ(ParseProfiles(xml, profiles, error), Result::Ok) << error;
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0].token, "Profile_1");
    EXPECT_EQ(profiles[0].name, "mainStream");
    EXPECT_EQ(profiles[0].encoding, "H264");
    EXPECT_EQ(profiles[0].width, 2560);  // the encoder's size, not the source's bounds
    EXPECT_EQ(profiles[0].height, 1440);
    EXPECT_EQ(profiles[1].name, "audio");
    EXPECT_EQ(profiles[1].width, 0);
    EXPECT_TRUE(profiles[1].encoding.empty());

    // A profile without its token cannot be asked for anything: the reply is refused.
    std::string tokenless = Soap12("<trt:GetProfilesResponse><trt:Profiles>"
                                   "<tt:Name>x</tt:Name></trt:Profiles></trt:GetProfilesResponse>");
    EXPECT_EQ(ParseProfiles(tokenless, profiles, error), Result::BadReply);
    // Sizes that are no numbers read as unknown.
    std::string badSize = Soap12(
        "<trt:GetProfilesResponse><trt:Profiles token=\"p\"><tt:VideoEncoderConfiguration>"
        "<tt:Resolution><tt:Width>-5</tt:Width><tt:Height>99999999999</tt:Height>"
        "</tt:Resolution></tt:VideoEncoderConfiguration></trt:Profiles></trt:GetProfilesResponse>");
    ASSERT_EQ(ParseProfiles(badSize, profiles, error), Result::Ok) << error;
    EXPECT_EQ(profiles[0].width, 0);
    EXPECT_EQ(profiles[0].height, 0);
}

TEST(OnvifReply, ImagingServiceItsIrisAndTheProfilesVideoInput)
{
    // The imaging service among the others, in a capabilities answer with other prefixes.
    std::string capabilities = Soap12(
        "<tds:GetCapabilitiesResponse><tds:Capabilities>"
        "<tt:Device><tt:XAddr>http://10.0.0.5/onvif/device_service</tt:XAddr></tt:Device>"
        "<tt:Imaging><tt:XAddr>http://10.0.0.5/onvif/imaging_service</tt:XAddr></tt:Imaging>"
        "<tt:Media><tt:XAddr>http://10.0.0.5/onvif/media</tt:XAddr></tt:Media>"
        "</tds:Capabilities></tds:GetCapabilitiesResponse>",
        "SOAP-ENV");
    Capabilities services;
    std::string error;
    ASSERT_EQ(ParseCapabilities(capabilities, services, error), Result::Ok) << error;
    EXPECT_EQ(services.imaging, "http://10.0.0.5/onvif/imaging_service");
    EXPECT_TRUE(services.ptz.empty());

    // Focus and iris name the profile's video input, not the profile.
    std::string profiles = Soap12(
        "<trt:GetProfilesResponse><trt:Profiles token=\"p1\"><tt:Name>main</tt:Name>"
        "<tt:VideoSourceConfiguration token=\"cfg\"><tt:Name>x</tt:Name>"
        "<tt:SourceToken> VideoSource_1 </tt:SourceToken></tt:VideoSourceConfiguration>"
        "</trt:Profiles></trt:GetProfilesResponse>");
    std::vector<Profile> read;
    ASSERT_EQ(ParseProfiles(profiles, read, error), Result::Ok) << error;
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].videoSource, "VideoSource_1");

    // The iris of a settings answer; a camera without an iris setting says nothing of it.
    auto settings = [](const std::string& exposure) {
        return Soap12("<timg:GetImagingSettingsResponse xmlns:timg=\"http://www.onvif.org/ver20/"
                      "imaging/wsdl\"><timg:ImagingSettings><tt:Brightness>50</tt:Brightness>"
                      "<tt:Exposure><tt:Mode>MANUAL</tt:Mode>" +
                      exposure +
                      "</tt:Exposure></timg:ImagingSettings></timg:GetImagingSettingsResponse>");
    };
    double iris = 99.0;
    bool present = false;
    ASSERT_EQ(ParseIris(settings("<tt:Iris>-3.5</tt:Iris>"), iris, present, error), Result::Ok) << error;
    EXPECT_TRUE(present);
    EXPECT_DOUBLE_EQ(iris, -3.5);
    ASSERT_EQ(ParseIris(settings("<tt:Gain>2</tt:Gain>"), iris, present, error), Result::Ok) << error;
    EXPECT_FALSE(present);
    // Anything but a finite number is no setting to step from.
    for (const char* bad : {"open", "nan", "inf", "1e999", "-3.5 dB"})
        EXPECT_EQ(ParseIris(settings(std::string("<tt:Iris>") + bad + "</tt:Iris>"), iris, present, error),
                  Result::BadReply)
            << bad;
    EXPECT_EQ(ParseIris(Soap12("<tds:Other/>"), iris, present, error), Result::BadReply);
}

TEST(OnvifReply, FaultsOfBothSoapVersions)
{
    // SOAP 1.2 with nested subcodes: the innermost names the reason.
    std::string nested = Soap12(
        "<SOAP-ENV:Fault xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\">"
        "<SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value>"
        "<SOAP-ENV:Subcode><SOAP-ENV:Value>ter:InvalidArgVal</SOAP-ENV:Value>"
        "<SOAP-ENV:Subcode><SOAP-ENV:Value>ter:NoProfile</SOAP-ENV:Value></SOAP-ENV:Subcode>"
        "</SOAP-ENV:Subcode></SOAP-ENV:Code>"
        "<SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">No such profile</SOAP-ENV:Text>"
        "</SOAP-ENV:Reason></SOAP-ENV:Fault>",
        "s");
    FaultInfo fault;
    std::string error;
    EXPECT_EQ(CheckEnvelope(nested, fault, error), Result::Fault);
    EXPECT_EQ(fault.code, "Sender");
    EXPECT_EQ(fault.subcode, "NoProfile");
    EXPECT_EQ(fault.reason, "No such profile");

    // SOAP 1.1 from older firmware.
    std::string old =
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
        "<faultcode>s:NotAuthorized</faultcode><faultstring>Sender not authorized"
        "</faultstring></s:Fault></s:Body></s:Envelope>";
    fault = {};
    EXPECT_EQ(CheckEnvelope(old, fault, error), Result::Fault);
    EXPECT_EQ(fault.code, "NotAuthorized");
    EXPECT_EQ(fault.reason, "Sender not authorized");

    // A fault is never read as an answer.
    DeviceInfo info;
    EXPECT_EQ(ParseDeviceInformation(nested, info, error), Result::Fault);
}

TEST(OnvifReply, ClockAndUrisWithOtherPrefixes)
{
    std::string clock = Soap12(
        "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
        "<tt:DateTimeType>NTP</tt:DateTimeType><tt:TimeZone><tt:TZ>CST-8</tt:TZ></tt:TimeZone>"
        "<tt:UTCDateTime><tt:Time><tt:Hour>23</tt:Hour><tt:Minute>5</tt:Minute>"
        "<tt:Second>9</tt:Second></tt:Time><tt:Date><tt:Year>2026</tt:Year>"
        "<tt:Month>12</tt:Month><tt:Day>31</tt:Day></tt:Date></tt:UTCDateTime>"
        "<tt:LocalDateTime><tt:Time><tt:Hour>7</tt:Hour><tt:Minute>5</tt:Minute>"
        "<tt:Second>9</tt:Second></tt:Time><tt:Date><tt:Year>2027</tt:Year><tt:Month>1"
        "</tt:Month><tt:Day>1</tt:Day></tt:Date></tt:LocalDateTime>"
        "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>",
        "SOAP-ENV");
    CameraClock read;
    std::string error;
    ASSERT_EQ(ParseSystemDateAndTime(clock, read, error), Result::Ok) << error;
    EXPECT_EQ(read.year, 2026);  // the UTC time, not the local one
    EXPECT_EQ(read.day, 31);
    EXPECT_EQ(read.hour, 23);
    // A camera that only tells its local time cannot be synchronised with.
    std::string localOnly = Soap12("<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
                                   "<tt:LocalDateTime/></tds:SystemDateAndTime>"
                                   "</tds:GetSystemDateAndTimeResponse>");
    EXPECT_EQ(ParseSystemDateAndTime(localOnly, read, error), Result::BadReply);
    std::string month13 = clock;
    month13.replace(month13.find("<tt:Month>12"), 14, "<tt:Month>13");
    EXPECT_EQ(ParseSystemDateAndTime(month13, read, error), Result::BadReply);

    std::string uri = Soap12("<trt2:GetStreamUriResponse xmlns:trt2=\"http://www.onvif.org/"
                             "ver10/media/wsdl\"><trt2:MediaUri><tt:Uri> rtsp://10.0.0.5:554/"
                             "Streaming/Channels/101?transportmode=unicast&amp;profile=P1 "
                             "</tt:Uri><tt:Timeout>PT60S</tt:Timeout></trt2:MediaUri>"
                             "</trt2:GetStreamUriResponse>");
    std::string address;
    ASSERT_EQ(ParseMediaUri(uri, address, error), Result::Ok) << error;
    EXPECT_EQ(address,
              "rtsp://10.0.0.5:554/Streaming/Channels/101?transportmode=unicast&profile=P1");
}

TEST(OnvifReply, ProbeMatchesKeepOnlyTheAnswersToOurProbe)
{
    std::string header = "<wsa:RelatesTo xmlns:wsa=\"http://www.w3.org/2005/08/addressing\">"
                         "urn:uuid:ours</wsa:RelatesTo>";
    std::string body =
        "<d:ProbeMatches xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">"
        "<d:ProbeMatch><EndpointReference><Address>urn:uuid:cam-1</Address>"
        "</EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
        "<d:Scopes>onvif://www.onvif.org/type/video_encoder\n"
        "  onvif://www.onvif.org/name/Front%20Door onvif://www.onvif.org/hardware/DS-X1"
        "  onvif://www.onvif.org/location/city/x</d:Scopes>"
        "<d:XAddrs>http://192.168.1.64/onvif/device_service "
        "http://[fe80::1]/onvif/device_service</d:XAddrs></d:ProbeMatch>"
        "<d:ProbeMatch><d:Scopes>onvif://www.onvif.org/name/NoAddress</d:Scopes></d:ProbeMatch>"
        "</d:ProbeMatches>";
    std::vector<DiscoveredDevice> devices;
    std::string error;
    ASSERT_EQ(ParseProbeMatches(Soap12(body, "SOAP-ENV", header), "urn:uuid:ours", devices,
                                error),
              Result::Ok)
        << error;
    ASSERT_EQ(devices.size(), 1u);  // the match without an address is of no use
    EXPECT_EQ(devices[0].endpoint, "urn:uuid:cam-1");
    EXPECT_EQ(devices[0].name, "Front Door");
    EXPECT_EQ(devices[0].hardware, "DS-X1");
    ASSERT_EQ(devices[0].xaddrs.size(), 2u);
    EXPECT_EQ(devices[0].scopes.size(), 4u);

    devices.clear();
    EXPECT_EQ(ParseProbeMatches(Soap12(body, "s", header), "urn:uuid:other", devices, error),
              Result::BadReply);
    EXPECT_TRUE(devices.empty());
}

TEST(OnvifReply, HostileTextIsRefusedWithoutHarm)
{
    std::string error;
    DeviceInfo info;
    // Entities that would grow without end are not expanded.
    std::string bomb =
        "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
        "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
        "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
        "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">]>" +
        Soap12("<tds:GetDeviceInformationResponse><tds:Model>&f;&f;&f;&f;</tds:Model>"
               "</tds:GetDeviceInformationResponse>");
    Result result = ParseDeviceInformation(bomb, info, error);
    EXPECT_TRUE(result == Result::BadReply || info.model.size() < 1000000u)
        << "model grew to " << info.model.size();
    // An outside entity is not fetched, so the file's text never reaches the model.
    std::string outside = "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x SYSTEM "
                          "\"file:///etc/hostname\">]>" +
                          Soap12("<tds:GetDeviceInformationResponse><tds:Model>&x;</tds:Model>"
                                 "</tds:GetDeviceInformationResponse>");
    info = {};
    ParseDeviceInformation(outside, info, error);
    EXPECT_TRUE(info.model.empty()) << info.model;

    for (const std::string& text :
         {std::string(), std::string("\0\0\0", 3), std::string("<a><b></a>"),
          std::string("<Envelope/>"), std::string(200000, '<'),
          Soap12("<tds:GetDeviceInformationResponse>")}) {
        EXPECT_NE(ParseDeviceInformation(text, info, error), Result::Ok);
        std::vector<Profile> profiles;
        EXPECT_NE(ParseProfiles(text, profiles, error), Result::Ok);
    }
}

}  // namespace
