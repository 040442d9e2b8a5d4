"use strict";
// Polls /status every second. A token is asked for once, when the station answers
// 401, and kept for this tab only.
const $ = (id) => document.getElementById(id);
const STATES = { "MONITORING": "monitoring", "ALARM": "alarm", "IDLE": "idle", "INPUT LOST": "lost" };

function width(db) {
  // -60 dBFS and below is an empty bar.
  return db === null ? 0 : Math.max(0, Math.min(100, (db + 60) * 100 / 60));
}

function level(id, db) {
  $(id).style.width = width(db) + "%";
  $(id + "db").textContent = db === null ? "\u2212\u221e" : db.toFixed(1) + " dB";
}

function show(s) {
  $("facility").textContent = s.facility || "Dovrane";
  document.title = (s.facility || "Dovrane") + " \u2013 " + s.state;
  $("banner").textContent = s.state;
  $("banner").className = "banner " + (STATES[s.state] || "unknown");
  $("clock").textContent = s.now.replace("T", " ");
  level("left", s.levelDbfs.left);
  level("right", s.levelDbfs.right);
  $("silence").textContent = s.silenceSeconds + " s";
  $("alarms").textContent = s.alarmsTotal;
  $("lastalarm").textContent = s.lastAlarm ? s.lastAlarm.replace("T", " ") : "\u2013";
  $("schedule").textContent = s.schedule.today ? s.schedule.start + " \u2013 " + s.schedule.stop : "off";
  $("log").textContent = s.log.join("\n");
  $("note").textContent = "";
}

function lost(text) {
  $("banner").textContent = "NO CONTACT";
  $("banner").className = "banner unknown";
  $("note").textContent = text;
}

async function poll() {
  const token = sessionStorage.getItem("dovraneToken");
  try {
    const reply = await fetch("status", { cache: "no-store",
      headers: token ? { "Authorization": "Bearer " + token } : {} });
    if (reply.status === 401) {
      const given = window.prompt("Token for this station's status:");
      if (given) sessionStorage.setItem("dovraneToken", given.trim());
      else lost("A token is needed to see this station.");
    } else if (reply.ok) {
      show(await reply.json());
    } else {
      lost("The station answered " + reply.status + ".");
    }
  } catch (e) {
    lost("The station cannot be reached.");
  }
  setTimeout(poll, 1000);
}

poll();
