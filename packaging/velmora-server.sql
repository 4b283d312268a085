-- Velmora's operators on a shared PostgreSQL server: the three group roles
-- and what each may do with Velmora's tables.
--
-- Run it as the owner of Velmora's tables, on the database Velmora uses, once
-- Velmora has started against that database (it makes its tables then):
--
--   psql -d velmora -f /usr/share/velmora/velmora-server.sql
--
-- Running it again changes nothing that is right already. Operators are then
-- login roles in one of the groups, made with
--   velmora --database postgresql://.../velmora --add-operator NAME --role admin
-- by a role that may create roles (CREATEROLE), or by hand:
--   CREATE ROLE sara LOGIN PASSWORD '...' IN ROLE velmora_clinician;
-- Once velmora_admin has a member that may log in, every Velmora start signs
-- in, and the server itself refuses what a role may not do.

\set ON_ERROR_STOP on

DO $$
BEGIN
    IF to_regclass('"IDE"') IS NULL OR to_regclass('"Answer"') IS NULL
       OR to_regclass('"History"') IS NULL OR to_regclass('"CodeKey"') IS NULL
       OR to_regclass('"Audit"') IS NULL THEN
        RAISE EXCEPTION 'Velmora''s tables are not in database %: start Velmora once with it, '
                        'then run this script again', current_database();
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'velmora_reception') THEN
        CREATE ROLE velmora_reception NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'velmora_clinician') THEN
        CREATE ROLE velmora_clinician NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'velmora_admin') THEN
        CREATE ROLE velmora_admin NOLOGIN;
    END IF;
END $$;

-- Each role holds every right of the one below it.
GRANT velmora_reception TO velmora_clinician;
GRANT velmora_clinician TO velmora_admin;

DO $$
BEGIN
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO velmora_reception', current_database());
    EXECUTE format('GRANT USAGE ON SCHEMA %I TO velmora_reception', current_schema());
END $$;

-- Nobody but these roles and the owner reaches the tables.
REVOKE ALL ON "IDE", "Answer", "History", "CodeKey", "Audit" FROM PUBLIC;

-- Reception registers subjects, looks codes up and gives the test: it reads
-- and writes registrations and answer sheets, adds administrations without
-- reading them, and adds to the audit trail without reading it.
GRANT SELECT, INSERT, UPDATE ON "IDE", "Answer" TO velmora_reception;
-- A code's search key is worked out after its row is stored, and again when
-- the code changes: the key's row is written over.
GRANT SELECT, INSERT, UPDATE ON "CodeKey" TO velmora_reception;
GRANT INSERT ON "History" TO velmora_reception;
GRANT INSERT ON "Audit" TO velmora_reception;

-- A clinician also scores, charts, reports and exports, which reads the
-- administrations.
GRANT SELECT ON "History" TO velmora_clinician;
-- A clinician corrects a registration, its code too: the administrations
-- follow the corrected code, and nothing else of them may change.
GRANT UPDATE ("Code") ON "History" TO velmora_clinician;
-- The research export reads the clinic's research key, and makes it the
-- first time.
GRANT SELECT, INSERT ON "ResearchKey" TO velmora_clinician;

-- An admin also backs up (reads everything), restores (replaces the subject
-- tables and sets their keys going on above the restored ones), erases a
-- subject on request (removes that code's rows from the four tables) and
-- reads the audit trail. Nobody changes or removes an entry of it: it has no UPDATE or
-- DELETE grant, and a trigger refuses them even to the owner.
GRANT DELETE ON "IDE", "Answer", "History", "CodeKey" TO velmora_admin;
GRANT SELECT ON "Audit" TO velmora_admin;
DO $$
DECLARE
    t text;
    s text;
BEGIN
    FOREACH t IN ARRAY ARRAY['IDE', 'Answer', 'History'] LOOP
        s := pg_get_serial_sequence(format('%I', t), 'ID');
        IF s IS NOT NULL THEN
            EXECUTE format('GRANT USAGE, SELECT, UPDATE ON SEQUENCE %s TO velmora_admin', s);
        END IF;
    END LOOP;
END $$;
