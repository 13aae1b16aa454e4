#pragma once

#include <QString>

// The five character tables that the rule keywords stand for, each a comma-separated list.
// A default-constructed CharTables holds the program's fixed tables; they never change.
struct CharTables
{
    // 随机: every character a name may hold (37 entries).
    QString charall = QStringLiteral("a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,x,y,z,0,1,2,3,4,5,6,7,8,9,-");
    // 声母: pinyin initials (20 entries).
    QString charinitials = QStringLiteral("b,p,m,f,d,t,n,l,g,k,h,j,q,x,z,c,s,zh,ch,sh");
    // 韵母: pinyin finals (24 entries; "e" is listed twice on purpose, users' lists rely on it).
    QString charfinals = QStringLiteral("a,o,e,e,u,v,ai,ei,ui,ao,ou,iu,ie,ue,er,an,en,in,un,vn,ang,eng,ing,ong");
    // 数字: the digits (10 entries).
    QString chardigits = QStringLiteral("0,1,2,3,4,5,6,7,8,9");
    // 字母: the letters (26 entries).
    QString charletters = QStringLiteral("a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,x,y,z");

    // The rule put into `domaingz` at start-up.
    static QString defaultRule();
};
