// Small helpers: element lookup and making, conversions of what the bridge
// hands over, camera labels.
"use strict";

function $(id) { return document.getElementById(id); }

function now() { return performance.now(); }

function toInt(v) {
  var n = parseInt(String(v), 10);
  return isFinite(n) ? n : 0;
}

function toText(v) {
  return v === undefined || v === null ? "" : String(v);
}

function utf8Length(s) {
  return new TextEncoder().encode(s).length;
}

function el(tag, cls, text) {
  var e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function clear(node) {
  while (node.firstChild) node.removeChild(node.firstChild);
}

function formatMac(mac) {
  mac = toText(mac);
  if (/^[0-9A-Fa-f]{12}$/.test(mac)) return mac.toUpperCase().match(/../g).join(":");
  return mac;
}

function cameraLabel(cam) {
  return cam.name !== "" ? cam.name : "Camera " + formatMac(cam.mac);
}
