#include "insights/CircadianFact.h"

namespace {
CircadianFact fact(const char* icon, const char* title, const char* body, double r, double g,
                   double b) {
    return {QString::fromUtf8(icon), QString::fromUtf8(title), QString::fromUtf8(body),
            RampColour{r, g, b, 1}};
}
} // namespace

const QList<CircadianFact>& CircadianFact::allFacts() {
    static const QList<CircadianFact> facts{
        fact("flame.fill", "Firelight was the first night mode",
             "For ~200,000 years our evenings glowed orange. Screens went blue barely 50 years "
             "ago — your body still expects the fire.",
             1.0, 0.55, 0.15),
        fact("flame.fill", "2700K mimics candlelight",
             "A candle flame burns near 1800K. Halcyra's Evening warmth sits in the same amber "
             "range your ancestors fell asleep by.",
             1.0, 0.55, 0.15),
        fact("sunset.fill", "The sun set and your body knew",
             "Long before clocks, fading light was our only bedtime signal. Halcyra just hands "
             "that signal back to you.",
             1.0, 0.6, 0.25),
        fact("sunset.fill", "The orange hour",
             "Sunsets glow orange to tell every living thing the day is ending. Halcyra paints "
             "that hour onto your screen.",
             1.0, 0.6, 0.2),
        fact("moon.stars.fill", "Brighter than a hundred moons",
             "Full moonlight is under 1 lux. Your phone at midnight is far closer to noon than to "
             "moonlight.",
             0.5, 0.7, 1.0),
        fact("sun.max.fill", "Screens were made for daylight",
             "Every screen ships calibrated for high noon. You use it most at night. Halcyra "
             "quietly fixes the mismatch.",
             1.0, 0.7, 0.2),
        fact("sunset.fill", "Dusk used to last an hour",
             "Your body was built for a slow fade from gold to dark. Screens jump from bright to "
             "black — Halcyra brings the fade back.",
             0.6, 0.5, 0.8),
        fact("sparkles", "Your skin sees light too",
             "Your skin carries opsins — the same light-sensing proteins your eyes use — and they "
             "react to blue light. You don't just look at light. You're bathed in it.",
             0.3, 0.8, 0.9),
        fact("moon.zzz.fill", "Blue light hits the brakes on sleep",
             "A 2001 study found blue light at night can suppress melatonin, your body's own "
             "sleep hormone, by up to 85% — cut to a sliver.",
             0.55, 0.45, 0.85),
        fact("moon.stars.fill", "58% more melatonin — in the trial",
             "In a 2017 trial, adults who blocked blue light before bed made about 58% more "
             "melatonin at night. Halcyra works the same axis: colour temperature.",
             0.4, 0.8, 0.5),
        fact("bed.double.fill", "About 24 minutes more sleep",
             "The same 2017 trial measured roughly 24 minutes of extra sleep a night — a couple "
             "of extra hours a week.",
             0.65, 0.5, 0.9),
        fact("moon.zzz.fill", "Half your melatonin, gone",
             "Leave your screen bright and blue after dark and your body can make about half the "
             "melatonin it should.",
             0.55, 0.45, 0.85),
        fact("moon.fill", "You're not tired — you're overlit",
             "Sometimes you can't wind down because your screen is still shouting \"daytime\" at "
             "11pm. Warm it down and drift off.",
             0.5, 0.55, 0.85),
        fact("cup.and.saucer.fill", "Your eyes drink light like coffee",
             "Blue light at night is an espresso for your brain. Warm light is the decaf it "
             "actually wants after dark.",
             0.85, 0.55, 0.3),
        fact("sunrise.fill", "Morning-you is grateful",
             "The version of you that wakes up sharp gets built the night before — by the light "
             "you did or didn't see.",
             1.0, 0.72, 0.3),
        fact("sunset.fill", "Warm light is a permission slip",
             "Amber, dimming light is your body's cue that the day's work is done. Give the cue "
             "and sleep tends to follow.",
             0.65, 0.5, 0.9),
        fact("eye", "Every 20 minutes, look away",
             "The 20-20-20 rule: every 20 minutes, look at something ~20 feet away for 20 "
             "seconds. Eye doctors swear by it.",
             0.3, 0.75, 0.9),
        fact("eye", "Distance is a stretch for your eyes",
             "Focusing up close keeps the tiny ciliary muscle in your eye clenched. Look into the "
             "distance and it finally lets go.",
             0.3, 0.75, 0.9),
        fact("eye.trianglebadge.exclamationmark", "Screens cut your blinking by two-thirds",
             "Staring at a screen drops your blink rate to about a third of normal — which is "
             "exactly how eyes get dry and scratchy.",
             1.0, 0.65, 0.1),
        fact("eye.slash", "Dry eyes aren't random",
             "When you forget to blink at a screen, your tear film breaks down and your eyes "
             "sting. Blink fully and often — on purpose.",
             0.5, 0.65, 0.85),
        fact("eyes", "Digital eye strain is the norm now",
             "Most people who work on screens all day feel it — tired, dry, aching eyes have a "
             "name: computer vision syndrome.",
             0.4, 0.7, 0.95),
        fact("mountain.2.fill", "Give your eyes the horizon",
             "Near work is a workout your eyes never get to rest from. A few seconds on "
             "something far away is the stretch that resets them.",
             0.4, 0.75, 0.5),
        fact("waveform", "Dimmer isn't always gentler",
             "Many screens flicker to look dim — the backlight pulses about 14,880 times a "
             "second, and lower brightness can mean more flicker, not less.",
             0.3, 0.6, 1.0),
        fact("moon.circle.fill", "Night light only goes so far",
             "The desktop's night light stops at about candlelight. Halcyra keeps going, all the "
             "way down to deep red.",
             0.45, 0.5, 0.9),
        fact("flame.fill", "All the way to 500K",
             "Halcyra can take your screen down to about 500K deep red — deeper than the warmest "
             "preset of another warming tool (1200K). That's past sunset, into firelight.",
             1.0, 0.35, 0.1),
        fact("flame", "Candles were the original dimmer",
             "For thousands of years, \"lower the lights\" meant a smaller flame. Halcyra is the "
             "same idea, minus the wax.",
             1.0, 0.55, 0.2),
        fact("moon.stars.fill", "Babies sleep by amber, not fluorescents",
             "There's a reason nurseries glow warm and low. Your grown-up brain never actually "
             "outgrew the preference.",
             0.6, 0.5, 0.85),
        fact("pawprint.fill", "Your pets already figured this out",
             "Notice how the dog curls up when the room dims? Same ancient cue — Halcyra just "
             "sends it to your eyes too.",
             0.8, 0.6, 0.4),
    };
    return facts;
}
