// The mushroom cloud: billowing smoke (tex0, its normal map tex1) lit through
// the light sphere (tex2) like the bark, plus the fire inside it. "light" is
// the inner glow, 0 (burnt out) to 3 (the blast): it burns hottest in the
// folds between the billows and in the fiery band of the smoke picture, and
// turns from white-yellow to deep orange as it fades.
// Eye-space distances reach thousands of units: their squares need full
// precision (some drivers run mediump as 16-bit floats).
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
uniform float light;
varying vec2 uv;
varying vec3 nrm;
varying vec3 tng;
varying vec3 eye;
varying vec3 world;

void main()
{
    vec3 n = normalize(nrm);
    if (!gl_FrontFacing) n = -n;
    vec3 t = tng - n * dot(n, tng);
    t = dot(t, t) > 0.000001 ? normalize(t) : vec3(0.0, 1.0, 0.0);
    vec3 b = cross(n, t);
    // The billows of the map plus a finer boil of the same map on top.
    vec3 coarse = texture2D(tex1, uv).xyz * 2.0 - 1.0;
    vec3 fine = texture2D(tex1, uv * vec2(3.0, 2.0) + vec2(0.31, 0.17)).xyz * 2.0 - 1.0;
    vec3 bump = vec3(coarse.xy * 1.6 + fine.xy * 0.8, coarse.z);
    vec3 bent = normalize(b * bump.x + t * bump.y + n * max(bump.z, 0.25));

    vec3 smoke = texture2D(tex0, uv).rgb;
    vec3 lit = texture2D(tex2, bent.xy * 0.48 + 0.5).rgb;
    vec3 v = normalize(-eye);
    float facing = max(dot(bent, v), 0.0);
    // Folds: where the bent normal leaves the surface normal, and faces turned down.
    float fold = clamp(1.0 - dot(bent, n), 0.0, 1.0);
    fold = clamp(fold * 3.0 + max(-bent.y, 0.0) * 0.35, 0.0, 1.0);
    float fiery = clamp((smoke.r - smoke.b) * 2.5, 0.0, 1.0);
    float heat = clamp(light, 0.0, 3.0);

    float shade = mix(1.0, 0.3, fold) * (0.55 + 0.45 * facing);
    vec3 body = smoke * lit * shade * 0.9 + lit * pow(1.0 - facing, 3.0) * 0.08;
    vec3 hot = mix(vec3(0.9, 0.22, 0.03), vec3(1.0, 0.8, 0.45), clamp(heat / 3.0, 0.0, 1.0));
    float burn = heat * (0.06 + 0.45 * fiery * fold + 0.5 * fold * fold);
    gl_FragColor = vec4(body + hot * burn, 1.0);
}
