// The steps Camera (its information) and IP address.
"use strict";

// ---- camera information

// Synchronous; true when the camera answered. retry reads again as the
// caller would.
function readInfo(retry) {
  W.lastInfo = null;
  var ok = toInt(FinderObj.GetCameraInfo_(W.cam.index)) === 1 && W.lastInfo !== null;
  if (!ok) {
    noAnswer("The camera's information could not be read.", retry || reloadInfo);
    return false;
  }
  W.info = W.lastInfo;
  W.cam.name = W.info.name;
  W.cam.ip = W.info.ip;
  W.address = toText(FinderObj.GetAddress_(W.cam.index));
  updateHeader();
  renderInfo();
  return true;
}

function reloadInfo() {
  runSync("GetCameraInfo_", "Reading the camera's information…", function () { readInfo(); });
}

// A camera writes an address it does not have as 0.0.0.0 or leaves it empty.
function addressOrNone(s) {
  return s === "" || s === "0.0.0.0" ? "None" : s;
}

function renderInfo() {
  var i = W.info;
  if (!i) return;
  $("info-name").textContent = i.name;
  $("info-mac").textContent = formatMac(W.cam.mac);
  $("info-dhcp").textContent = i.dhcp ? "Automatic (DHCP)" : "Fixed address";
  $("info-ip").textContent = i.ip;
  $("info-mask").textContent = i.mask;
  $("info-gateway").textContent = addressOrNone(i.gateway);
  var dns = [i.dns1, i.dns2].filter(function (s) { return addressOrNone(s) !== "None"; });
  $("info-dns").textContent = dns.length > 0 ? dns.join(", ") : "None";
  $("info-web").textContent = W.address !== "" ? W.address : NO_ADDRESS;
}

// ---- IP address

function parseIPv4(s) {
  var m = /^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$/.exec(s);
  if (!m) return null;
  var v = 0;
  for (var k = 1; k <= 4; k++) {
    var b = parseInt(m[k], 10);
    if (b > 255) return null;
    v = v * 256 + b;
  }
  return v;
}

// Once per camera: later visits keep what was typed or applied.
function fillAddressForm() {
  var i = W.info;
  if (!i || W.base.address !== null) return;
  $(i.dhcp ? "addr-dhcp" : "addr-fixed").checked = true;
  $("addr-ip").value = i.ip;
  $("addr-mask").value = i.mask;
  $("addr-gateway").value = i.gateway === "0.0.0.0" ? "" : i.gateway;
  $("addr-dns1").value = i.dns1 === "0.0.0.0" ? "" : i.dns1;
  $("addr-dns2").value = i.dns2 === "0.0.0.0" ? "" : i.dns2;
  W.base.address = snapshot("address");
}

// Returns the five texts to send, or null after marking the first bad field.
function readFixedAddress() {
  var ids = ["addr-ip", "addr-mask", "addr-gateway", "addr-dns1", "addr-dns2"];
  var names = ["IP address", "subnet mask", "gateway", "first DNS server", "second DNS server"];
  var texts = [], values = [];
  // The fields decide together whether an address fits, so typing in any
  // of them takes the error back.
  function bad(k, why) {
    fieldError([ids[k]].concat(ids.filter(function (id) { return id !== ids[k]; }).concat(["addr-dhcp", "addr-fixed"])),
               why || "The " + names[k] + " is not a valid address: four numbers 0 to 255 with dots, " +
                      "for example 192.168.1.20.");
    return null;
  }
  for (var k = 0; k < ids.length; k++) {
    var t = $(ids[k]).value.trim();
    if (t === "" && k >= 2) t = "0.0.0.0";
    var v = parseIPv4(t);
    if (v === null) return bad(k);
    texts.push(t);
    values.push(v);
  }
  var ip = values[0], mask = values[1];
  var inv = (0xFFFFFFFF - mask);
  if (mask === 0 || ((inv + 1) & inv) !== 0) return bad(1, "The subnet mask is not valid.");
  var net = ip - (ip % (inv + 1));
  if (ip === 0 || ip >= 0xE0000000 || ip === net || ip === net + inv)
    return bad(0, "The IP address cannot be used for a camera.");
  var gw = values[2];
  if (gw !== 0 && (gw - (gw % (inv + 1)) !== net || gw === ip))
    return bad(2, "The gateway must be another address in the camera's subnet.");
  return texts;
}

function applyAddress(then) {
  var cam = W.cam;
  var dhcp = $("addr-dhcp").checked;
  var t = null;
  if (!dhcp) {
    t = readFixedAddress();
    if (!t) return;
  }
  startRequest({
    name: dhcp ? "SetupDHCP_" : "SetupFixed_IP_Mask_Gateway_DNS1_DNS2_",
    busy: "Sending the address settings…",
    timeoutMs: 30000,
    closeText: "The address settings are being sent to the camera; this takes up to 30 seconds. " +
               "Closing now can leave the camera without them.",
    start: function () {
      if (dhcp) FinderObj.SetupDHCP_(cam.index);
      else FinderObj.SetupFixed_IP_Mask_Gateway_DNS1_DNS2_(cam.index, t[0], t[1], t[2], t[3], t[4]);
    },
    done: function () {
      if (toInt(FinderObj.QueryResult()) !== 1) {
        sendFailed("The camera did not take the address settings.", "The address settings could not be sent.",
                   function () { applyAddress(then); });
        return;
      }
      W.base.address = snapshot("address");
      W.applied.address = dhcp ? "Automatic (DHCP)" : "Fixed address " + t[0];
      W.unsaved.address = true;
      renderNav();
      refreshControls();
      applied(then, "The camera took the address settings. Save the settings to make them take effect.");
    }
  });
}
